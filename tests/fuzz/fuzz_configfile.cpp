// Drive configuration files: the loader that turns a document into parameter input values,
// and the token count that bounds what the YAML library spends on a text before it runs.
#include "files/yamltokens.h"
#include "formats/configfiles.h"
#include "fuzzsupport.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

// Every node the library would build, an alias's place in its collection included. After a
// stray indicator the library may hand back empty documents without moving on: stalled.
class NodeCount : public YAML::EventHandler {
public:
    std::size_t nodes = 0;
    bool stalled = false;
    void OnDocumentStart(const YAML::Mark& mark) override
    {
        stalled = documents++ > 0 && mark.pos == lastStart;
        lastStart = mark.pos;
    }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark&, YAML::anchor_t) override { ++nodes; }
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override { ++nodes; }
    void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override { ++nodes; }
    void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override
    {
        ++nodes;
    }
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override
    {
        ++nodes;
    }
    void OnMapEnd() override {}

private:
    std::size_t documents = 0;
    int lastStart = -1;
};

}   // namespace

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

    // The limits on YAML inputs rest on this: a few nodes at most per token counted.
    NodeCount count;
    try {
        std::istringstream in(text);
        YAML::Parser parser(in);
        while (!count.stalled && parser.HandleNextDocument(count)) {}
    } catch (const std::exception&) {
    }
    fuzz::check(count.nodes <= 3 * files::yamlTokenStarts(text.data(), text.size()), "at most three nodes per token");

    double v = 0;
    (void)configfile::parseNumber(text, &v);
    return 0;
}
