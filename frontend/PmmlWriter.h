// --pmml: the fitted model, linear or logistic, as a standalone PMML 4.4 document (the library's
// QXPMMLDocument). Its data dictionary names the model's variables as the formula does ("log(x)" for a
// function of a column) and lists the factors' and a categorical response's levels as their texts in
// the data, so that a PMML consumer scores a record from the values the user sees.
#pragma once

#include <string>

#include "frontend/ModelBuilder.h"
#include "model/IQXRegComponent.h"

namespace QXFit {

// Writes the document of `component`'s model to `path`, named after `formula`. False with a message
// when the library cannot describe the model (two variables sharing a name, as in factor(x) + x) or
// the file cannot be written.
bool WritePmml(QXMath_600::IQXRegComponent& component, const ModelBuilder& model, const std::string& formula,
               const std::string& path, std::string& error);

}  // namespace QXFit
