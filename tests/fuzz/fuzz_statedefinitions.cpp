// The two definition files read at start-up into the state vocabulary: status-word texts
// per product type ("state_config.yaml") and the identification choices ("motor_config.yaml").
#include "fuzzsupport.h"
#include "vocabulary/loadyaml.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::writeInput(data, size, QStringLiteral("definitions.yaml"));

    StateChecker checker;
    (void)checker.loadYamlFile(path);
    (void)checker.loadMotorYamlFile(path);
    (void)checker.extractShiftValue(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));

    // Look every loaded product type up with a few words, as the status decoder does.
    const quint64 words[] = {0, 1, 0x80000000ull, ~quint64(0), quint64(qint64(qint32(0x80000001)))};
    QStringList models = checker.stateWordMap.keys() + checker.errorWordMap.keys() + checker.drvErrorWordMap.keys() +
                         checker.warnningMap.keys();
    models << QString();
    for (const QString& model : models.mid(0, 8)) {
        for (quint64 w : words) {
            QString text;
            QList<QString> texts;
            (void)checker.getStateWord(model, w, text);
            (void)checker.getErrorWords(model, w, texts);
            (void)checker.getDrvErrorWords(model, w, texts);
            (void)checker.getWarnning(model, w, texts);
        }
    }
    return 0;
}
