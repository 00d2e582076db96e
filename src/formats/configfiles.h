// Drive configuration files: which YAML section and key belongs to which parameter input,
// and the conversion of a document to and from those inputs' values.
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace configfile {

struct Entry {
    const char* section;
    const char* key;
    const char* spinBox;   // object name of the input on the parameter page
    int saveOrder;         // 1..9: written by a save, in this order; 0: only loaded
};

// Every key a load understands, in the order a load applies them.
const std::vector<Entry>& entries();

// The saved document: the nine saved keys with the values valueOf gives for their inputs.
std::string saveText(const std::function<double(const char* spinBox)>& valueOf);

enum class LoadResult { Applied, ParseError };

// A saved file is a few hundred bytes and a full one holds 43 keys (about a hundred YAML
// tokens). Far larger files, texts of more tokens (see files/yamltokens.h: the YAML
// library's cost grows with them) and documents whose known sections hold more keys in all
// (an alias counts each time it is used) are refused as not parsable, before the library
// builds anything for the first two.
constexpr qint64 MaxFileSize = 256 * 1024;
constexpr std::size_t MaxTokens = 50000;
constexpr int MaxSectionEntries = 10000;

// Parses text and hands every known key's value to apply, in file order of the sections
// and table order within each. Stops at the first error, a value that is not a finite
// number or a key given twice in a known section included; what was applied stays
// applied. A text of more than one document is refused whole.
LoadResult applyText(const std::string& text, const std::function<void(const char* spinBox, double value)>& apply);

// Numbers as the YAML library reads them, always with a full stop; written as the
// shortest text that reads back as the same double.
std::string formatNumber(double value);
bool parseNumber(const std::string& text, double* value);

// File dialogs; empty hooks use QFileDialog. Tests set them.
using DialogHook = std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;
extern DialogHook saveDialogHook;
extern DialogHook openDialogHook;

}   // namespace configfile
