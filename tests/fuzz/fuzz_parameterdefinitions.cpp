// The parameter definition file ("motor_parameter_config.yaml"): defaults and ranges.
#include "fuzzsupport.h"
#include "vocabulary/loadyaml.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::writeInput(data, size, QStringLiteral("parameters.yaml"));

    MotorParameterLoader loader;
    (void)loader.loadFromFile(path.toStdString());
    for (const auto& entry : loader.parameters) {
        const Parameter* p = loader.getParameterByName(entry.first);
        fuzz::check(p && p->name == entry.first, "a loaded parameter is found by its name");
    }
    (void)loader.getParameterByName(std::string());
    // Loading again over what is there, as a second start-up step would.
    (void)loader.loadFromFile(path.toStdString());
    return 0;
}
