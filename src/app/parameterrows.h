// The parameter rows of the form and the definitions applied to them at start-up: views
// of the parameter table in the order the window uses them.
#pragma once

#include "protocol/parametertable.h"

#include <array>

struct ParameterRow {
    MotorConfig code;
    const char* suffix;   // pushButton_<suffix> writes, pushButton_<suffix>_2 reads
    const char* input;    // object name of the row's input
    RowInput kind;
    bool hasWrite;
    bool hasRead;
};

// In the order their buttons are wired: the Information rows, the Quick Set rows, then
// the Config rows in page order.
constexpr std::array<ParameterRow, 56> parameterRowsInOrder()
{
    std::array<ParameterRow, 56> rows{};
    const auto ordered = protocol::parametersInOrder<56>(&protocol::ParameterInfo::rowOrder);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const protocol::ParameterInfo& p = *ordered[i];
        rows[i] = ParameterRow{p.code, p.button, p.input, p.kind, p.write, p.read};
    }
    return rows;
}
inline constexpr std::array<ParameterRow, 56> kParameterRows = parameterRowsInOrder();

// The 43 parameter definitions applied at start-up: name in the definition file, spin box.
struct ParameterDefinitionBinding {
    const char* name;
    const char* spinBox;
};

constexpr std::array<ParameterDefinitionBinding, 43> parameterDefinitionsInOrder()
{
    std::array<ParameterDefinitionBinding, 43> bindings{};
    const auto ordered = protocol::parametersInOrder<43>(&protocol::ParameterInfo::definitionOrder);
    for (std::size_t i = 0; i < bindings.size(); ++i)
        bindings[i] = ParameterDefinitionBinding{ordered[i]->definition, ordered[i]->input};
    return bindings;
}
inline constexpr std::array<ParameterDefinitionBinding, 43> kParameterDefinitions = parameterDefinitionsInOrder();

// The row of a code, or nullptr when the code has none.
inline const ParameterRow* parameterRow(int code)
{
    for (const ParameterRow& row : kParameterRows)
        if (static_cast<int>(row.code) == code) return &row;
    return nullptr;
}
