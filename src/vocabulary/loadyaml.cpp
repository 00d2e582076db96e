#include "vocabulary/loadyaml.h"

#include "files/boundedfile.h"
#include "files/yamltokens.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>

#include <yaml-cpp/yaml.h>

#include <cmath>
#include <exception>
#include <stdexcept>

namespace {

QString textOf(const YAML::Node& node)
{
    // A null scalar reads as "null"; lists and maps throw.
    return QString::fromStdString(node.as<std::string>());
}

void warnLoadFailure(const char* what) { qWarning().noquote() << "Failed to load YAML:" << QString::fromUtf8(what); }

// A missing product type's entry or an empty one (key with no value) holds no sections;
// any other node that is not a mapping makes the file malformed.
bool isMapOrEmpty(const YAML::Node& node) { return !node || node.IsNull() || node.IsMap(); }

// Read and counted within the limits before the library builds its node tree from it.
YAML::Node loadDefinitionFile(const QString& path)
{
    QByteArray bytes;
    switch (files::readRegularFile(path, MaxDefinitionFileSize, &bytes)) {
    case files::ReadStatus::CannotOpen: throw YAML::BadFile(path.toUtf8().toStdString());
    case files::ReadStatus::TooLarge:
        throw std::runtime_error("the file is larger than " + std::to_string(MaxDefinitionFileSize) + " bytes");
    case files::ReadStatus::Ok: break;
    }
    if (files::yamlTokenStarts(bytes.constData(), std::size_t(bytes.size())) > MaxDefinitionTokens)
        throw std::runtime_error("the file has more than " + std::to_string(MaxDefinitionTokens) + " YAML tokens");
    return YAML::Load(bytes.toStdString());
}

class EntryBudget {
public:
    void spend(std::size_t entries)
    {
        used += entries;
        if (used > std::size_t(MaxDefinitionEntries))
            throw std::runtime_error("more than " + std::to_string(MaxDefinitionEntries) + " entries");
    }

private:
    std::size_t used = 0;
};

}   // namespace

struct ParsedDefinition {
    QString path;
    bool exists = false;
    YAML::Node root;
    bool failed = false;
    std::string error;
};

namespace {

// The parsed root, or what went wrong reading the file, thrown again for the loader's report.
const YAML::Node& rootOf(const ParsedDefinition& file)
{
    if (file.failed) throw std::runtime_error(file.error);
    return file.root;
}

}   // namespace

DefinitionFile::DefinitionFile() = default;

DefinitionFile DefinitionFile::read(const QString& path)
{
    auto parsed = std::make_shared<ParsedDefinition>();
    parsed->path = path;
    parsed->exists = QFile::exists(path);
    try {
        parsed->root = loadDefinitionFile(path);
    } catch (const std::exception& e) {
        parsed->failed = true;
        parsed->error = e.what();
    } catch (...) {
        parsed->failed = true;
        parsed->error = "unknown error";
    }
    DefinitionFile file;
    file.d = std::move(parsed);
    return file;
}

const ParsedDefinition& DefinitionFile::parsed() const
{
    static const ParsedDefinition none{QString(), false, YAML::Node(), true, "bad file"};
    return d ? *d : none;
}

StateChecker::StateChecker() = default;

int StateChecker::extractShiftValue(const QString& key)
{
    static const QRegularExpression pattern(QStringLiteral("1<<([0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(key);
    if (!match.hasMatch()) return -1;
    bool ok = false;
    const uint n = match.captured(1).toUInt(&ok);
    if (!ok) return -1;
    return static_cast<int>(n);
}

bool StateChecker::loadYamlFile(const QString& path) { return loadYamlFile(DefinitionFile::read(path)); }

bool StateChecker::loadYamlFile(const DefinitionFile& file)
{
    const ParsedDefinition& parsed = file.parsed();
    const QString& path = parsed.path;
    if (!parsed.exists) {
        qDebug().noquote() << "Error: YAML file does not exist!";
        return false;
    }

    static const char* const sectionNames[] = {"state_word", "error_word", "drv_error_word", "warnning"};
    QMap<QString, QMap<quint64, QString>>* const tables[] = {&stateWordMap, &errorWordMap, &drvErrorWordMap,
                                                             &warnningMap};

    try {
        const YAML::Node& root = rootOf(parsed);
        if (root.IsNull()) return true;
        EntryBudget budget;
        if (!root.IsMap()) {
            qWarning().noquote() << QStringLiteral("Failed to load YAML: the root of \"%1\" is not a map").arg(path);
            return false;
        }
        for (const auto& entry : root) {
            const QString model = textOf(entry.first);
            const YAML::Node& sections = entry.second;
            if (!isMapOrEmpty(sections)) {
                qWarning().noquote()
                    << QStringLiteral("Failed to load YAML: product type \"%1\" is not a map").arg(model);
                return false;
            }
            if (sections.IsNull()) continue;
            budget.spend(sections.size());
            for (int s = 0; s < 4; ++s) {
                const YAML::Node section = sections[sectionNames[s]];
                if (!section) continue;
                // A list's entries have no bit key.
                if (section.IsSequence() && section.size()) {
                    qWarning().noquote() << QStringLiteral(
                                                "Failed to load YAML: %1 of product type \"%2\" is a list")
                                                .arg(QString::fromLatin1(sectionNames[s]), model);
                    return false;
                }
                if (!section.IsMap()) continue;   // a plain value or an empty list: no bits
                budget.spend(section.size());
                for (const auto& bit : section) {
                    const QString key = textOf(bit.first);
                    const int n = extractShiftValue(key);
                    const QString text = textOf(bit.second);
                    // Shifting a 64-bit one by a negative count or by 64 or more is undefined.
                    if (n < 0 || n > 63) {
                        qDebug().noquote() << QStringLiteral(
                                                  "Skipped bit key \"%1\" of product type \"%2\": "
                                                  "not 1<<N with N from 0 to 63")
                                                  .arg(key, model);
                        continue;
                    }
                    (*tables[s])[model].insert(quint64(1) << n, text);
                }
            }
        }
    } catch (const std::exception& e) {
        warnLoadFailure(e.what());
        return false;
    }
    return true;
}

bool StateChecker::loadMotorYamlFile(const QString& path) { return loadMotorYamlFile(DefinitionFile::read(path)); }

bool StateChecker::loadMotorYamlFile(const DefinitionFile& file)
{
    struct Table {
        const char* key;
        QMap<QString, int>* map;
    };
    const Table tables[] = {{"ProductBatch", &productBatchMap},
                            {"MotorType", &motorTypeMap},
                            {"VenderType", &venderTypeMap},
                            {"HardvareVersion", &hardvareVersionMap}};

    try {
        const YAML::Node& root = rootOf(file.parsed());
        for (const Table& table : tables) {
            // An empty file or a root that is not a map has none of the tables.
            const YAML::Node node = root.IsMap() ? root[table.key] : YAML::Node();
            if (!node || !node.IsMap()) {
                qWarning().noquote() << QString::fromLatin1(table.key) + QStringLiteral(" is missing or not a map");
                return false;
            }
            table.map->clear();
            for (const auto& entry : node) table.map->insert(textOf(entry.first), entry.second.as<int>());
        }
    } catch (const std::exception& e) {
        warnLoadFailure(e.what());
        return false;
    }
    return true;
}

bool StateChecker::getStateWord(const QString& model, quint64 value, QString& out)
{
    const auto it = stateWordMap.constFind(model);
    if (it == stateWordMap.constEnd()) {
        qDebug().noquote() << "no model";
        return false;
    }
    out = it->value(value, QStringLiteral("PADDING"));
    return true;
}

static bool lookupBits(const QMap<QString, QMap<quint64, QString>>& table, const QString& model, quint64 value,
                       QList<QString>& out)
{
    out.clear();
    const auto it = table.constFind(model);
    if (it == table.constEnd()) return false;
    for (auto bit = it->constBegin(); bit != it->constEnd(); ++bit) {
        if (bit.key() & value) out.append(bit.value());
    }
    if (out.isEmpty()) out.append(QStringLiteral("PADDING"));
    return true;
}

bool StateChecker::getErrorWords(const QString& model, quint64 value, QList<QString>& out)
{
    return lookupBits(errorWordMap, model, value, out);
}

bool StateChecker::getWarnning(const QString& model, quint64 value, QList<QString>& out)
{
    return lookupBits(warnningMap, model, value, out);
}

bool StateChecker::getDrvErrorWords(const QString& model, quint64 value, QList<QString>& out)
{
    return lookupBits(drvErrorWordMap, model, value, out);
}

bool MotorParameterLoader::loadFromFile(const std::string& path)
{
    return loadFromFile(DefinitionFile::read(QString::fromStdString(path)));
}

bool MotorParameterLoader::loadFromFile(const DefinitionFile& file)
{
    try {
        const YAML::Node& root = rootOf(file.parsed());
        // Only a map has keys: an empty file, a list or a plain value has no "parameters".
        if (!root.IsMap()) return false;
        const YAML::Node list = root["parameters"];
        if (!list) return false;
        // A plain value has no elements. A map's entries are pairs, never a parameter's map
        // (and asking a map entry for its type throws, so the map test comes first).
        if (!list.IsSequence() && !list.IsMap()) return true;
        EntryBudget budget;
        budget.spend(list.size());
        for (const YAML::Node& element : list) {
            if (list.IsMap() || !element.IsMap()) {
                warnLoadFailure("a parameter entry is not a map");
                return false;
            }
            budget.spend(element.size());
            const YAML::Node nameNode = element["name"];
            if (!nameNode) {
                warnLoadFailure("a parameter entry has no name");
                return false;
            }
            Parameter p;
            p.name = nameNode.as<std::string>();
            if (const YAML::Node description = element["description"]) p.description = description.as<std::string>();

            // A number that does not convert costs only itself, not the entry. Infinity
            // and not-a-number would reach the input boxes and from there the drive.
            const auto readNumber = [&](const char* key, double& target) {
                const YAML::Node node = element[key];
                if (!node) return;
                QString error;
                try {
                    const double v = node.as<double>();
                    if (std::isfinite(v)) {
                        target = v;
                        return;
                    }
                    error = QStringLiteral("not a finite number");
                } catch (const YAML::Exception& e) {
                    error = QString::fromStdString(e.what());
                }
                qDebug().noquote() << QStringLiteral("Error converting %1 for %2: %3")
                                          .arg(QString::fromLatin1(key), QString::fromStdString(p.name), error);
                target = 0;
            };
            readNumber("value", p.value);
            readNumber("min_value", p.min_value);
            readNumber("max_value", p.max_value);

            parameters[p.name] = p;
        }
    } catch (const std::exception& e) {
        warnLoadFailure(e.what());
        return false;
    }
    return true;
}

const Parameter* MotorParameterLoader::getParameterByName(const std::string& name) const
{
    const auto it = parameters.find(name);
    return it == parameters.end() ? nullptr : &it->second;
}
