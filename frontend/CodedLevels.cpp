#include "frontend/CodedLevels.h"

namespace QXFit {

CodedLevels::CodedLevels(const RowSource& source, const std::vector<ModelVariable>& variables)
    : fTables(variables.size()) {
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const ModelVariable& variable = variables[i];
    // A numeric factor's levels are values, which a coded column does not have.
    if (!variable.IsCategorical() || variable.fLevels.IsNumeric()) continue;
    const std::vector<std::string>* categories = source.GetCategories(variable.fColumn);
    if (categories == nullptr) continue;
    fTables[i].reserve(categories->size());
    for (const auto& text : *categories) fTables[i].push_back(variable.fLevels.FindText(text));
  }
}

}  // namespace QXFit
