// Drive configuration files: nine parameter inputs saved to YAML, up to 43 loaded from it.
#include "formats/configfiles.h"

#include "files/yamltokens.h"
#include "protocol/parametertable.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <unordered_set>

namespace configfile {

DialogHook saveDialogHook;
DialogHook openDialogHook;

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> table = [] {
        std::vector<Entry> view;
        for (const protocol::ParameterInfo* p : protocol::parametersInOrder<43>(&protocol::ParameterInfo::loadOrder))
            view.push_back(Entry{p->section, p->key, p->input, p->saveOrder});
        return view;
    }();
    return table;
}

// Seventeen digits would write a box's 33.33 as 33.329999999999998. The shortest form
// is locale-independent; the library parses through the global C++ locale, so parsing
// pins the classic one, and a decimal comma never breaks a load.
std::string formatNumber(double value)
{
    if (std::isnan(value)) return ".nan";
    if (std::isinf(value)) return std::signbit(value) ? "-.inf" : ".inf";
    // The shortest digits that read back as the same double, written without an exponent as
    // the boxes show them (0.0001, not 1e-04); only a number no box holds takes an exponent.
    char text[64];
    std::to_chars_result written = std::to_chars(text, text + 24, value, std::chars_format::fixed);
    if (written.ec != std::errc()) written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

bool parseNumber(const std::string& text, double* value)
{
    std::stringstream stream(text);
    stream.imbue(std::locale::classic());
    stream.unsetf(std::ios::dec);
    double v = 0;
    if ((stream >> std::noskipws >> v) && (stream >> std::ws).eof()) {
        *value = v;
        return true;
    }
    if (YAML::conversion::IsInfinity(text)) {
        *value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (YAML::conversion::IsNegativeInfinity(text)) {
        *value = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (YAML::conversion::IsNaN(text)) {
        *value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

std::string saveText(const std::function<double(const char* spinBox)>& valueOf)
{
    std::vector<const Entry*> saved(9, nullptr);
    for (const Entry& e : entries())
        if (e.saveOrder > 0) saved[static_cast<size_t>(e.saveOrder - 1)] = &e;

    YAML::Node motor;
    YAML::Node protection;
    for (const Entry* e : saved) {
        if (std::string(e->section) == "电机")
            motor[e->key] = formatNumber(valueOf(e->spinBox));
        else
            protection[e->key] = formatNumber(valueOf(e->spinBox));
    }
    YAML::Node root;
    root["电机"] = motor;
    root["安全保护"] = protection;

    YAML::Emitter out;
    out << root;
    if (!out.good()) throw std::runtime_error(out.GetLastError());
    return out.c_str();
}

namespace {

class IgnoreEvents : public YAML::EventHandler {
public:
    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
    void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override {}
    void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnMapEnd() override {}
};

// Whether the text goes on past its first document; throws on a syntax error in either.
// The library's own loop over all documents never ends on a stray indicator after a flow
// collection (it hands back empty documents without moving on), so at most two are asked for.
bool hasSecondDocument(const std::string& text)
{
    std::istringstream in(text);
    YAML::Parser parser(in);
    IgnoreEvents ignore;
    return parser.HandleNextDocument(ignore) && parser.HandleNextDocument(ignore);
}

// YAML allows a key once in a map; the library keeps both copies and a lookup finds the
// first. Keys are compared as the file writes them, as the lookup compares them.
bool hasRepeatedKey(const YAML::Node& section)
{
    std::unordered_set<std::string> seen;
    bool nullSeen = false;
    for (const auto& entry : section) {
        const YAML::Node& key = entry.first;
        if (key.IsNull()) {
            if (nullSeen) return true;
            nullSeen = true;
        } else if (key.IsScalar() && !seen.insert(key.Scalar()).second) {
            return true;
        }
    }
    return false;
}

}   // namespace

LoadResult applyText(const std::string& text, const std::function<void(const char* spinBox, double value)>& apply)
{
    if (files::yamlTokenStarts(text.data(), text.size()) > MaxTokens) return LoadResult::ParseError;
    try {
        // A second document, even one that is no YAML, refuses the file.
        if (hasSecondDocument(text)) return LoadResult::ParseError;
        const YAML::Node root = YAML::Load(text);
        if (root.IsSequence()) return LoadResult::ParseError;
        if (!root.IsMap()) return LoadResult::Applied;   // empty, null or a plain value
        // Each key is looked up through the whole section, so the keys examined are bounded.
        std::size_t examined = 0;
        for (auto it = root.begin(); it != root.end(); ++it) {
            // A null name reads as the text "null", which names no section.
            if (!it->first.IsScalar() && !it->first.IsNull()) return LoadResult::ParseError;
            const std::string name = it->first.as<std::string>();
            bool known = false;
            for (const Entry& e : entries()) known = known || name == e.section;
            if (!known) continue;

            const YAML::Node section = it->second;
            if (section.IsScalar()) return LoadResult::ParseError;
            if (!section.IsMap()) continue;   // null or a list: no keys
            examined += section.size();
            if (examined > std::size_t(MaxSectionEntries)) return LoadResult::ParseError;
            if (hasRepeatedKey(section)) return LoadResult::ParseError;
            for (const Entry& e : entries()) {
                if (name != e.section) continue;
                const YAML::Node value = section[e.key];
                if (!value.IsDefined()) continue;
                double v = 0;
                if (!value.IsScalar() || !parseNumber(value.Scalar(), &v) || !std::isfinite(v))
                    return LoadResult::ParseError;
                apply(e.spinBox, v);
            }
        }
        return LoadResult::Applied;
    } catch (const std::exception&) {
        return LoadResult::ParseError;
    }
}

}   // namespace configfile
