// Drive configuration files: the loader that turns a document into parameter input values.
#include "formats/configfiles.h"
#include "fuzzsupport.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)configfile::applyText(text, [](const char* spinBox, double value) {
        bool known = false;
        for (const configfile::Entry& e : configfile::entries()) known = known || std::strcmp(e.spinBox, spinBox) == 0;
        fuzz::check(known, "a load only sets inputs of the table");
        // A value loaded and saved again must come back unchanged.
        double back = 0;
        fuzz::check(configfile::parseNumber(configfile::formatNumber(value), &back), "a saved number parses");
        fuzz::check(back == value || (std::isnan(back) && std::isnan(value)), "a saved number reads back unchanged");
    });

    double v = 0;
    (void)configfile::parseNumber(text, &v);
    return 0;
}
