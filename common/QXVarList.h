// The caller's list of variable descriptions, indexed like the values of a record: entry i
// describes record variable i. The exports read names, category texts and ranges from it.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "common/QXExport.h"
#include "common/QXVariable.h"

namespace QXCommon_600 {

class QXCOMMON_API QXVarList {
 public:
  QXVarList() = default;
  QXVarList(const QXVarList&) = delete;
  QXVarList& operator=(const QXVarList&) = delete;
  QXVarList(QXVarList&&) = default;
  QXVarList& operator=(QXVarList&&) = default;
  ~QXVarList();

  // Appends a variable, which the list then owns; returns its index, or -1 for a null variable.
  int AddVariable(std::unique_ptr<IQXVariable> variable);
  // The description of variable i, or null outside 0..GetNVars()-1.
  const IQXVariable* GetVarAt(int i) const;
  int GetNVars() const { return static_cast<int>(fvVariables.size()); }
  // Index of the first variable with that name, or -1.
  int FindVariable(std::string_view name) const;

  void Display() const;

 private:
  std::vector<std::unique_ptr<IQXVariable>> fvVariables;
};

}  // namespace QXCommon_600
