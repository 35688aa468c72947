#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>

#include "UiFixture.h"
#include "ui/Placement.h"

namespace fixcaster::ui::test {
namespace {

using FileDialogTest = UiFixture;

// Answers file dialogs with `path`, noting where each one stood.
struct DialogAnswer {
  explicit DialogAnswer(QString p) : path(std::move(p)) {}
  QString path;
  std::vector<QRect> frames;
  QStringList filters;
  std::function<void(QDialog*)> Handler() {
    return [this](QDialog* d) {
      auto* dialog = qobject_cast<QFileDialog*>(d);
      if (!dialog) return d->reject();
      frames.push_back(dialog->frameGeometry());
      filters << dialog->nameFilters().join(QStringLiteral(";;"));
      dialog->selectFile(path);
      d->accept();  // QFileDialog's own accept takes the selected file
    };
  }
};

TEST_F(FileDialogTest, SaveAndLoadCsvThroughCentredDialogs) {
  Start();
  DialogAnswer save{Path(QStringLiteral("out"))};
  {
    ModalAnswerer answer(QMessageBox::Yes, save.Handler());
    Find<QPushButton>("ButtonSaveCSV")->click();
  }
  ASSERT_EQ(save.frames.size(), 1u);
  EXPECT_EQ(save.filters.front(), QStringLiteral("CSV file (*.csv);;All file (*.*)"));
  const QRect main = form_->frameGeometry();
  EXPECT_EQ(save.frames[0],
            QRect(CentreDialog(main, save.frames[0].size(), MonitorWorkArea(form_.get())),
                  save.frames[0].size()));
  const QByteArray csv = ReadAll(Path(QStringLiteral("out.csv")));
  EXPECT_TRUE(csv.startsWith("Latitude,Longitude,Altitude,Speed\r\n")) << csv.toStdString();
  EXPECT_TRUE(csv.contains("35 40 49.448,139 46 8.793,3,30\r\n")) << csv.toStdString();

  // Saving over it asks first; "No" leaves the file alone.
  QFile::resize(Path(QStringLiteral("out.csv")), 10);
  {
    ModalAnswerer answer(QMessageBox::No, save.Handler());
    Find<QPushButton>("ButtonSaveCSV")->click();
    ASSERT_EQ(answer.Boxes().size(), 1u);
    EXPECT_TRUE(answer.Boxes()[0].text.endsWith(QStringLiteral(" exists.\n\nOverwrite?")));
  }
  EXPECT_EQ(QFileInfo(Path(QStringLiteral("out.csv"))).size(), 10);

  QFile in(Path(QStringLiteral("in.csv")));
  ASSERT_TRUE(in.open(QIODevice::WriteOnly));
  in.write("Latitude,Longitude,Altitude,Speed\r\n10,20,1,5\r\n11,21,1,5\r\n");
  in.close();
  DialogAnswer load{Path(QStringLiteral("in.csv"))};
  {
    ModalAnswerer answer(QMessageBox::Ok, load.Handler());
    Find<QPushButton>("ButtonLoadCSV")->click();
    EXPECT_TRUE(answer.Boxes().empty()) << answer.Texts().join('|').toStdString();
  }
  EXPECT_EQ(state_->StringGrid1.Cell(1, 1), "10");
  EXPECT_EQ(state_->StringGrid1.Cell(2, 2), "21");
}

TEST_F(FileDialogTest, LoadIniSwitchesTheSettingsFile) {
  Start({QStringLiteral("/C")});
  const QString other = Path(QStringLiteral("second.ini"));
  WriteIni(other, QStringLiteral("[Output]\nHDTOut=1\n"));
  DialogAnswer load{other};
  {
    ModalAnswerer answer(QMessageBox::Ok, load.Handler());
    Find<QPushButton>("ButtonLoad")->click();
  }
  ASSERT_EQ(load.filters.size(), 1);
  EXPECT_EQ(load.filters.front(), QStringLiteral("Ini file (*.ini);;All file (*.*)"));
  EXPECT_EQ(QString::fromStdString(state_->SettingsPath), other);
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxHDT")->isChecked());
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Fixcaster Ver3.00 (second.ini)"));
}

}  // namespace
}  // namespace fixcaster::ui::test
