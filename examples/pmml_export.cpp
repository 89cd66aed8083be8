// Writes a fitted model as a standalone PMML 4.4 document that any PMML consumer can score: a general
// linear model len ~ supp + dose + supp by dose (a slope of dose for each supplement) on R's
// ToothGrowth data, which is small enough to be written out here. The caller's variable list gives
// the names and the category texts the document uses.
//   pmml_export               prints the document
//   pmml_export FILE          writes it to FILE
#include <qxregres600r.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Tooth length of 60 guinea pigs: supplement VC then OJ, 10 animals at each dose 0.5, 1 and 2 mg/day.
const double kLength[60] = {4.2,  11.5, 7.3,  5.8,  6.4,  10,   11.2, 11.2, 5.2,  7,    16.5, 16.5,
                            15.2, 17.3, 22.5, 17.3, 13.6, 14.5, 18.8, 15.5, 23.6, 18.5, 33.9, 25.5,
                            26.4, 32.5, 26.7, 21.5, 23.3, 29.5, 15.2, 21.5, 17.6, 9.7,  14.5, 10,
                            8.2,  9.4,  16.5, 9.7,  19.7, 23.3, 23.6, 26.4, 20,   25.2, 25.8, 21.2,
                            14.5, 27.3, 25.5, 26.4, 22.4, 24.5, 24.8, 30.9, 26.4, 27.3, 29.4, 23};
const double kDoses[3] = {0.5, 1.0, 2.0};

}  // namespace

int main(int argc, char** argv) {
  // Record layout: 0 len, 1 supp (code 0 OJ, 1 VC), 2 dose.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  if (!file) return 1;
  for (int i = 0; i < 60; ++i) {
    const double record[3] = {kLength[i], i < 30 ? 1.0 : 0.0, kDoses[(i % 30) / 10]};
    std::fwrite(record, sizeof(double), 3, file.get());
  }
  std::fflush(file.get());

  QXMath_600::QXRegSettings settings;
  settings.SetDependent(0);
  settings.AddFactor(1, 2);
  settings.AddCovariate(2);
  const std::vector<int> candidates{1, 2};  // the settings' factors, then its covariates
  QXMath_600::QXModelEffect supp(1, 1, &candidates), dose(1, 1, &candidates), slopes(1, 1, &candidates);
  supp.AddNewFactor(1, false);
  dose.AddCovariate(2);
  slopes.AddNewFactor(1, false);
  slopes.AddCovariate(2);
  for (const auto& effect : {supp, dose, slopes}) settings.AddModelEffect(effect);

  QXMath_600::QXRegFactory factory;
  std::unique_ptr<QXMath_600::IQXRegComponent> component(factory.CreateRegAlgorithm(settings));
  QXCommon_600::BinaryRecordIterator records(file.get(), 3);
  if (!component || component->BuildModel(records).IsError()) {
    std::fprintf(stderr, "the model could not be fitted\n");
    return 1;
  }

  // The caller's description of its variables, indexed like the records.
  QXCommon_600::QXVarList variables;
  variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("len", 4.2, 33.9));
  auto supplement = std::make_unique<QXCommon_600::QXCatVar>("supp");
  supplement->AddCategory(0, "OJ");
  supplement->AddCategory(1, "VC");
  variables.AddVariable(std::move(supplement));
  variables.AddVariable(std::make_unique<QXCommon_600::QXContVar>("dose", 0.5, 2.0));

  QXMath_600::QXPMMLDocumentOptions options;
  options.fModelName = "len ~ supp + dose + supp:dose";
  options.fDescription = "ToothGrowth: tooth length by vitamin C supplement and dose";
  std::unique_ptr<QXXML_600::XMLElement> document;
  const QXCommon_600::QXStatus status =
      QXMath_600::QXPMMLDocument::Create(*component, variables, options, document);
  if (status.IsError()) {
    std::fprintf(stderr, "%s\n", status.GetMessage().c_str());
    return 1;
  }
  const std::string text = document->ToDocument();
  if (argc < 2) {
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << text;
  return out ? 0 : 1;
}
