// The Dikton GUI program.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "rv7k_sim_demo.h"
#include "uCommandLine.h"
#include "uConst_Orbis.h"
#include "uMainForm.h"
#include "uQtStrings.h"
#include "uQtUserDialog.h"

namespace {
constexpr int kExitBadUsage = 2;
constexpr int kExitNoDemo = 1;
}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // The title is the error box's caption. No display name: Qt would append it to every
  // window title.
  QApplication::setApplicationName(dikton::gui::Q(dikton::txt::AppTitle));
  // Dates, numbers and the toolkit's dialogs in Russian, whatever the system's locale.
  QLocale::setDefault(dikton::gui::RussianLocale());
  // Every text of the program is Russian; so are the toolkit's own buttons and dialogs.
  QTranslator qtTexts;
  if (qtTexts.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  std::vector<std::string> args;
  const QStringList qargs = QApplication::arguments();
  for (qsizetype i = 1; i < qargs.size(); ++i) args.push_back(dikton::gui::S(qargs[i]));
  auto parsed = dikton::gui::ParseCommandLine(args);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "dikton: %s\n%s", error->c_str(), dikton::gui::kUsage);
    return kExitBadUsage;
  }
  auto& line = std::get<dikton::gui::TCommandLine>(parsed);

  std::unique_ptr<rv7ksim::TVirtualDevice> demo;
  if (line.Demo) {
    demo = rv7ksim::StartDemoDevice();
    if (!demo) {
      std::fprintf(stderr, "dikton: the virtual device could not get a pseudo-terminal\n");
      return kExitNoDemo;
    }
    line.Ports.Map(rv7ksim::kDemoPort, demo->Path());
  }

  dikton::gui::TQtUserDialog dialog;
  dikton::TLinkContext link;
  link.Ports = &line.Ports;
  dikton::gui::TMainForm form(dialog, link);
  // The file dialogs start in the program's own folder; the demo starts them where the
  // generated voices and their list lie, so that "Открыть список" finds paths.txt at once.
  form.Commands().ProgramFolder = dikton::gui::S(QCoreApplication::applicationDirPath());
  if (line.Demo && std::filesystem::exists(DIKTON_DEMO_VOICES_DIR "/paths.txt"))
    form.Commands().ProgramFolder = DIKTON_DEMO_VOICES_DIR;
  dialog.SetOwner(&form);
  form.show();
  return app.exec();
}
