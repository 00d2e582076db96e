#ifndef LOADYAML_H
#define LOADYAML_H

#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

// Definition files far beyond any real one (a few kilobytes, under a thousand tokens) are
// refused. The YAML library's work grows with the bytes and far more with the tokens (see
// files/yamltokens.h), both counted before it runs, so that the three files together stay
// well within a second and a few hundred megabytes at start-up. Aliases let a small file
// name one large map many times over: entries counts the map and list entries the loaders
// walk (a product type's sections, a section's bits, the parameters and their keys), each
// time an alias reaches them.
constexpr qint64 MaxDefinitionFileSize = 512 * 1024;
constexpr std::size_t MaxDefinitionTokens = 25000;
constexpr int MaxDefinitionEntries = 100000;

struct ParsedDefinition;

// A definition file read and parsed, on any thread and ahead of its use. Reading reports
// nothing: the loader given it reports what went wrong as it does reading the file itself.
// Loading touches the parsed tree's caches: load one on one thread at a time.
class DefinitionFile {
public:
    DefinitionFile();   // none read: every loader refuses it
    static DefinitionFile read(const QString& path);

private:
    friend class StateChecker;
    friend class MotorParameterLoader;
    const ParsedDefinition& parsed() const;
    std::shared_ptr<const ParsedDefinition> d;
};

// Texts of the drive's status-word bits per product type, and the name-to-code
// tables of the identification parameters. Loaded once at start-up.
class StateChecker {
public:
    StateChecker();

    bool loadYamlFile(const QString& path);
    bool loadYamlFile(const DefinitionFile& file);
    bool loadMotorYamlFile(const QString& path);
    bool loadMotorYamlFile(const DefinitionFile& file);
    int extractShiftValue(const QString& key);

    // `value` is the drive's 32-bit word sign-extended to 64 bits.
    bool getStateWord(const QString& model, quint64 value, QString& out);
    bool getErrorWords(const QString& model, quint64 value, QList<QString>& out);
    bool getWarnning(const QString& model, quint64 value, QList<QString>& out);
    bool getDrvErrorWords(const QString& model, quint64 value, QList<QString>& out);

    // Display name -> code written to the drive; walked in key order for the combo boxes.
    QMap<QString, int> productBatchMap;
    QMap<QString, int> motorTypeMap;
    QMap<QString, int> venderTypeMap;
    QMap<QString, int> hardvareVersionMap;

    // Product type -> (bit mask -> text).
    QMap<QString, QMap<quint64, QString>> stateWordMap;
    QMap<QString, QMap<quint64, QString>> errorWordMap;
    QMap<QString, QMap<quint64, QString>> drvErrorWordMap;
    QMap<QString, QMap<quint64, QString>> warnningMap;
};

struct Parameter {
    std::string name;
    double value = 0;
    double min_value = 0;
    double max_value = 0;
    std::string description;
};

// Default value and allowed range of each named drive parameter.
class MotorParameterLoader {
public:
    bool loadFromFile(const std::string& path);
    bool loadFromFile(const DefinitionFile& file);
    // Exact, case-sensitive match; null when absent. Valid while the loader lives
    // and is not loaded again.
    const Parameter* getParameterByName(const std::string& name) const;

    std::unordered_map<std::string, Parameter> parameters;
};

#endif   // LOADYAML_H
