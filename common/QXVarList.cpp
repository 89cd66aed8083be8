#include "common/QXVarList.h"

#include "common/QXDisplay.h"

namespace QXCommon_600 {

QXVarList::~QXVarList() = default;

int QXVarList::AddVariable(std::unique_ptr<IQXVariable> variable) {
  if (!variable) return -1;
  fvVariables.push_back(std::move(variable));
  return GetNVars() - 1;
}

const IQXVariable* QXVarList::GetVarAt(int i) const {
  return i >= 0 && i < GetNVars() ? fvVariables[static_cast<std::size_t>(i)].get() : nullptr;
}

int QXVarList::FindVariable(std::string_view name) const {
  for (std::size_t i = 0; i < fvVariables.size(); ++i)
    if (fvVariables[i]->GetName() == name) return static_cast<int>(i);
  return -1;
}

void QXVarList::Display() const {
  QXDisplay_600::DisplayText(1, " ");
  QXDisplay_600::DisplayText(1, "QXVarList display start");
  QXDisplay_600::DisplayI("Number of variables", GetNVars());
  for (const auto& variable : fvVariables) variable->Display();
  QXDisplay_600::DisplayText(1, "QXVarList display end");
}

}  // namespace QXCommon_600
