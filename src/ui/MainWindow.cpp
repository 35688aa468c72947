#include "ui/MainWindow.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "settings/Settings.h"
#include "ui/AuxWindows.h"
#include "ui/Language.h"
#include "ui/Placement.h"
#include "ui/Prefix.h"
#include "ui/RunCore.h"
#include "ui/TrackTableModel.h"
#include "ui/Widgets.h"

namespace fixcaster::ui {

namespace {
constexpr int kRowHeight = 22;
constexpr int kColumnWidths[] = {20, 84, 90, 45, 45};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}
std::string S(const QString& s) {
  return s.toStdString();
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QLabel* DisplayLabel(const char* name) {
  auto* label = Named(new QLabel, name);
  label->setAutoFillBackground(true);
  QPalette p = label->palette();
  p.setColor(QPalette::Window, Qt::white);
  p.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(p);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameShape(QFrame::StyledPanel);
  label->setMinimumHeight(18);
  return label;
}

QComboBox* Combo(const char* name, bool editable, int width) {
  auto* box = Named(new QComboBox, name);
  box->setEditable(editable);
  box->setInsertPolicy(QComboBox::NoInsert);
  if (width > 0) box->setFixedWidth(width);
  return box;
}

// "RadioButtonGGA_3": the handler reads the button's number back from its name.
QString PrefixButtonName(int sentence, int index) {
  return QStringLiteral("RadioButton%1_%2").arg(QLatin1String(SentenceNames[sentence])).arg(index);
}

// The stored font where it is installed, else the platform's sans-serif.
QFont WindowFont(const std::string& name, int points) {
  QFont font(Q(name));
  if (!QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  if (points > 0) font.setPointSize(points);
  return font;
}
}  // namespace

TFormMain::TFormMain(AppState& state, QStringList arguments, QWidget* parent)
    : QWidget(parent), state_(state), arguments_(std::move(arguments)) {
  setObjectName(QStringLiteral("FormMain"));
  SetMainWindow(this);
  // "Ver" + major + "." + two-digit minor, from the build's project version.
  state_.VersionText = BuildVersionText();
  setWindowTitle(QStringLiteral("Fixcaster ") + Q(state_.VersionText));
  setFont(WindowFont(state_.EngFontName, state_.EngFontSize));

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(10, 5, 10, 8);
  top->setSpacing(3);
  top->addWidget(BuildOutputGroup());
  auto* lower = new QHBoxLayout;
  lower->setSpacing(4);
  auto* left = new QVBoxLayout;
  left->setSpacing(1);
  left->addWidget(BuildDataGroup());
  left->addWidget(BuildGsaGroup());
  left->addStretch();
  lower->addLayout(left);
  lower->addWidget(BuildConditionGroup(), 0, Qt::AlignTop);
  auto* right = new QVBoxLayout;
  right->addWidget(BuildSerialGroup());
  right->addWidget(BuildSideColumn());
  lower->addLayout(right);
  top->addLayout(lower);
  // The window may shrink (to 100 x 100) but never grow beyond its start size.
  top->setSizeConstraint(QLayout::SetNoConstraint);

  core_ = std::make_unique<RunCore>(*this);
  BindControls();
  SyncFromState();

  monitor_ = new TFormNmeamon(this);
  editor_ = new TFormGSAGSV(this);
  editor_->OnStore = [this](const QString& text) { core_->StorePreset(S(text)); };
  // Both small windows follow the main window out.
  monitor_->setAttribute(Qt::WA_QuitOnClose, false);
  editor_->setAttribute(Qt::WA_QuitOnClose, false);

  const QSize start = sizeHint().expandedTo(QSize(827, 415));
  resize(start);
  setMinimumSize(100, 100);
  setMaximumSize(start);
  setAcceptDrops(true);
  // Centred on the screen from the first frame; the settings may move it later.
  int startTop = kNoPosition, startLeft = kNoPosition;
  PlaceMainWindow(*this, startTop, startLeft);

  // Esc asks the run to stop wherever the focus is in the program, and still does
  // what it does there (an open cell editor is cancelled, a dialog closed).
  QCoreApplication::instance()->installEventFilter(this);
}

TFormMain::~TFormMain() {
  QCoreApplication::instance()->removeEventFilter(this);
  // The widgets go while the core still exists: a cell editor still open commits its
  // text into the grid on the way out.
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
  delete monitor_;
  delete editor_;
  if (MainWindow() == this) SetMainWindow(nullptr);
}

QGroupBox* TFormMain::BuildOutputGroup() {
  GroupBoxOutput = Named(new QGroupBox(QStringLiteral(" NMEA出力 ")), "GroupBoxOutput");
  auto* g = new QGridLayout(GroupBoxOutput);
  g->setContentsMargins(6, 2, 6, 2);
  g->setHorizontalSpacing(4);
  g->setVerticalSpacing(1);
  LabelCnt = Named(new QLabel(QStringLiteral("ポイント")), "LabelCnt");
  LabelLat1 = Named(new QLabel(QStringLiteral("緯度")), "LabelLat1");
  LabelLon1 = Named(new QLabel(QStringLiteral("経度")), "LabelLon1");
  LabelAlt1 = Named(new QLabel(QStringLiteral("標高(m)")), "LabelAlt1");
  LabelSpeed1 = Named(new ClickLabel(QStringLiteral("速度(km/h)")), "LabelSpeed1");
  LabelSpeed1->setCursor(Qt::PointingHandCursor);
  LabelTime1 = Named(new QLabel(QStringLiteral("時刻(UTC)")), "LabelTime1");
  LabelCount = DisplayLabel("LabelCount");
  LabelLat = DisplayLabel("LabelLat");
  LabelLon = DisplayLabel("LabelLon");
  LabelAlt = DisplayLabel("LabelAlt");
  LabelSpeed = DisplayLabel("LabelSpeed");
  LabelTime = DisplayLabel("LabelTime");
  QLabel* headings[] = {LabelCnt, LabelLat1, LabelLon1, LabelAlt1, LabelSpeed1, LabelTime1};
  QLabel* values[] = {LabelCount, LabelLat, LabelLon, LabelAlt, LabelSpeed, LabelTime};
  const int stretch[] = {8, 12, 12, 7, 7, 10};
  for (int c = 0; c < 6; ++c) {
    headings[c]->setAlignment(Qt::AlignCenter);
    g->addWidget(headings[c], 0, c);
    g->addWidget(values[c], 1, c);
    g->setColumnStretch(c, stretch[c]);
  }
  ButtonStart = Named(new QPushButton(QStringLiteral("Start")), "ButtonStart");
  ButtonIdling = Named(new QPushButton(QStringLiteral("Idling")), "ButtonIdling");
  ButtonStop = Named(new QPushButton(QStringLiteral("Stop")), "ButtonStop");
  ButtonStop->setEnabled(false);
  for (QPushButton* b : {ButtonStart, ButtonIdling, ButtonStop}) b->setFixedWidth(64);
  g->addWidget(ButtonStart, 1, 6);
  g->addWidget(ButtonIdling, 1, 7);
  g->addWidget(ButtonStop, 1, 8);
  LbelSendBytes = Named(new QLabel, "LbelSendBytes");
  LbelSendBytes->setAutoFillBackground(true);
  LabelReport = Named(new QLabel, "LabelReport");
  LabelIni = Named(new QLabel, "LabelIni");
  LabelIni->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  g->addWidget(LbelSendBytes, 2, 0, 1, 2);
  g->addWidget(LabelReport, 2, 2, 1, 4);
  g->addWidget(LabelIni, 2, 6, 1, 3);
  return GroupBoxOutput;
}

QGroupBox* TFormMain::BuildDataGroup() {
  GroupBoxData = Named(new QGroupBox(QStringLiteral(" コース設定 ")), "GroupBoxData");
  auto* g = new QGridLayout(GroupBoxData);
  g->setContentsMargins(6, 2, 6, 4);
  g->setHorizontalSpacing(2);
  g->setVerticalSpacing(2);

  StringGrid1 = Named(new QTableView, "StringGrid1");
  gridModel_ = new TrackTableModel(state_.StringGrid1, this);
  StringGrid1->setModel(gridModel_);
  // Fixed row heights let the view jump straight to any of a million rows.
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
  StringGrid1->verticalHeader()->setMinimumSectionSize(kRowHeight);
  StringGrid1->verticalHeader()->setFixedWidth(kColumnWidths[0] + 10);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->horizontalHeader()->setFixedHeight(kRowHeight);
  StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
  StringGrid1->setFixedHeight(kRowHeight * 11 + 4);
  FitGridColumns();
  g->addWidget(StringGrid1, 0, 0, 11, 1);

  // The Jump buttons stand beside the first nine visible rows, below the headings.
  auto* jumpColumn = new QVBoxLayout;
  jumpColumn->setSpacing(0);
  jumpColumn->setContentsMargins(0, kRowHeight + 2, 0, 0);
  for (int i = 0; i < 9; ++i) {
    ButtonJ[i] = new QPushButton(QStringLiteral("Jump"));
    ButtonJ[i]->setObjectName(QStringLiteral("ButtonJ%1").arg(i + 1));
    ButtonJ[i]->setProperty("Tag", i + 1);
    ButtonJ[i]->setFixedSize(44, kRowHeight);
    ButtonJ[i]->setFocusPolicy(Qt::NoFocus);
    jumpColumn->addWidget(ButtonJ[i]);
  }
  jumpColumn->addStretch();
  g->addLayout(jumpColumn, 0, 1, 11, 1);

  ProgressBar1 = Named(new QProgressBar, "ProgressBar1");
  ProgressBar1->setRange(0, 310);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedSize(310, 14);
  CheckBoxRep = Named(new QCheckBox(QStringLiteral("Rep.")), "CheckBoxRep");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(ProgressBar1);
  bottom->addWidget(CheckBoxRep);
  g->addLayout(bottom, 11, 0, 1, 2);
  return GroupBoxData;
}

QGroupBox* TFormMain::BuildConditionGroup() {
  GroupBoxCondition = Named(new QGroupBox(QStringLiteral(" 出力条件 ")), "GroupBoxCondition");
  auto* v = new QVBoxLayout(GroupBoxCondition);
  v->setContentsMargins(6, 2, 6, 4);
  v->setSpacing(2);

  auto* head = new QGridLayout;
  head->setHorizontalSpacing(4);
  head->setVerticalSpacing(2);
  head->addWidget(Named(new QLabel(QStringLiteral("出力周期")), "LabelPeriod"), 0, 0);
  ComboBoxHz = Combo("ComboBoxHz", true, 60);
  head->addWidget(ComboBoxHz, 0, 1);
  head->addWidget(Named(new QLabel(QStringLiteral("Hz")), "LabelHz"), 0, 2);
  head->addWidget(Named(new QLabel(QStringLiteral("NMEA")), "LabelNMEA"), 1, 0);
  ComboBoxNMEA = Combo("ComboBoxNMEA", true, 60);
  head->addWidget(ComboBoxNMEA, 1, 1);
  head->addWidget(Named(new QLabel(QStringLiteral("Nav. Status")), "LabelNavSt"), 1, 3);
  ComboBoxNavSt = Combo("ComboBoxNavSt", true, 45);
  head->addWidget(ComboBoxNavSt, 1, 4);
  head->setColumnStretch(2, 1);
  v->addLayout(head);

  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(4);
  rows->setVerticalSpacing(0);
  rows->addWidget(Named(new QLabel(QStringLiteral("出力")), "LabelOut"), 0, 0);
  rows->addWidget(Named(new QLabel(QStringLiteral("インターバル")), "LabelInt"), 0, 1);
  auto* prefixHead = new QHBoxLayout;
  prefixHead->addWidget(Named(new QLabel(QStringLiteral("プリフィックス")), "LabelPrefix"));
  prefixHead->addStretch();
  LabelCHG = Named(new ClickLabel(QStringLiteral("CHG")), "LabelCHG");
  LabelCHG->setCursor(Qt::PointingHandCursor);
  prefixHead->addWidget(LabelCHG);
  rows->addLayout(prefixHead, 0, 2);
  for (int s = 0; s < SentenceCount; ++s) {
    const QString name = QLatin1String(SentenceNames[s]);
    CheckBoxSentence[s] = new QCheckBox(name);
    CheckBoxSentence[s]->setObjectName(QStringLiteral("CheckBox") + name);
    ComboBoxInterval[s] = Combo("", true, 45);
    ComboBoxInterval[s]->setObjectName(QStringLiteral("ComboBox") + name);
    rows->addWidget(CheckBoxSentence[s], s + 1, 0);
    rows->addWidget(ComboBoxInterval[s], s + 1, 1);
    if (s >= PrefixSentenceCount) continue;
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("Panel") + name);
    auto* h = new QHBoxLayout(panel);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    for (int i = 1; i <= PrefixButtonCount(s); ++i) {
      auto* button = new QRadioButton(Q(PrefixCaption(state_, s, i)), panel);
      button->setObjectName(PrefixButtonName(s, i));
      RadioButtonPrefix[s][i - 1] = button;
      h->addWidget(button);
    }
    h->addStretch();
    rows->addWidget(panel, s + 1, 2);
  }
  rows->setColumnStretch(2, 1);
  v->addLayout(rows);

  auto* fix = new QGridLayout;
  fix->setHorizontalSpacing(4);
  fix->setVerticalSpacing(2);
  fix->addWidget(Named(new QLabel(QStringLiteral("GPS品質/モード表示")), "LabelQuality"), 0, 0, 1,
                 6);
  fix->addWidget(Named(new QLabel(QStringLiteral("GGA")), "LabelStatus"), 1, 0);
  ComboBoxStatus = Combo("ComboBoxStatus", false, 170);
  fix->addWidget(ComboBoxStatus, 1, 1, 1, 5);
  fix->addWidget(Named(new QLabel(QStringLiteral("RMC")), "LabelRMCst"), 2, 0);
  ComboBoxRMCst = Combo("ComboBoxRMCst", false, 170);
  fix->addWidget(ComboBoxRMCst, 2, 1, 1, 5);
  fix->addWidget(Named(new QLabel(QStringLiteral("緯度経度小数")), "LabelDegDec"), 3, 0);
  ComboBoxDegDec = Combo("ComboBoxDegDec", true, 40);
  fix->addWidget(ComboBoxDegDec, 3, 1);
  fix->addWidget(Named(new QLabel(QStringLiteral("桁")), "LabelDegDig"), 3, 2);
  fix->addWidget(Named(new QLabel(QStringLiteral("秒小数")), "LabelTimeDec"), 3, 3);
  ComboBoxTimeDec = Combo("ComboBoxTimeDec", true, 40);
  fix->addWidget(ComboBoxTimeDec, 3, 4);
  fix->addWidget(Named(new QLabel(QStringLiteral("桁")), "LabelTimeDig"), 3, 5);
  fix->addWidget(Named(new QLabel(QStringLiteral("ジオイド高")), "LabelGeoid"), 4, 0);
  ComboBoxGeoid = Combo("ComboBoxGeoid", true, 50);
  fix->addWidget(ComboBoxGeoid, 4, 1);
  fix->addWidget(Named(new QLabel(QStringLiteral("ｍ")), "Label_m"), 4, 2);
  CheckBoxRMCprec = Named(new QCheckBox(QStringLiteral("RMC先行")), "CheckBoxRMCprec");
  fix->addWidget(CheckBoxRMCprec, 4, 3, 1, 3);
  v->addLayout(fix);
  return GroupBoxCondition;
}

QGroupBox* TFormMain::BuildSerialGroup() {
  GroupBoxSerial = Named(new QGroupBox(QStringLiteral(" 出力 ")), "GroupBoxSerial");
  auto* v = new QVBoxLayout(GroupBoxSerial);
  v->setContentsMargins(6, 2, 6, 4);
  v->setSpacing(2);
  v->addWidget(Named(new QLabel(QStringLiteral("出力ポート")), "LabelPort"));
  ComboBoxPort = Named(new DropDownComboBox, "ComboBoxPort");
  ComboBoxPort->setEditable(true);
  ComboBoxPort->setInsertPolicy(QComboBox::NoInsert);
  ComboBoxPort->setMaxVisibleItems(15);
  ComboBoxPort->setFixedWidth(90);
  ComboBoxPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  v->addWidget(ComboBoxPort);
  LabelBaud = Named(new QLabel(QStringLiteral("速度(bps)")), "LabelBaud");
  ComboBoxBaud = Combo("ComboBoxBaud", true, 90);
  LabelTCPport = Named(new QLabel(QStringLiteral("TCPポート")), "LabelTCPport");
  EditTCPport = Named(new QLineEdit(QStringLiteral("5555")), "EditTCPport");
  EditTCPport->setFixedWidth(90);
  // The TCP port takes the place of the serial speed.
  v->addWidget(LabelBaud);
  v->addWidget(ComboBoxBaud);
  v->addWidget(LabelTCPport);
  v->addWidget(EditTCPport);
  LabelTCPport->hide();
  EditTCPport->hide();
  ButtonOpen = Named(new QPushButton(QStringLiteral("Open")), "ButtonOpen");
  ButtonClose = Named(new QPushButton(QStringLiteral("Close")), "ButtonClose");
  ButtonClose->setEnabled(false);
  v->addWidget(ButtonOpen);
  v->addWidget(ButtonClose);
  return GroupBoxSerial;
}

QGroupBox* TFormMain::BuildGsaGroup() {
  GroupBoxGSAGSV = Named(new QGroupBox(QStringLiteral(" GSA,GSV ")), "GroupBoxGSAGSV");
  auto* h = new QHBoxLayout(GroupBoxGSAGSV);
  h->setContentsMargins(6, 2, 6, 4);
  for (int i = 0; i < 4; ++i) {
    RadioButtonGSA[i] = new QRadioButton(QStringLiteral("Preset%1").arg(i + 1));
    RadioButtonGSA[i]->setObjectName(QStringLiteral("RadioButtonGSA%1").arg(i + 1));
    h->addWidget(RadioButtonGSA[i]);
  }
  RadioButtonGSA[0]->setChecked(true);
  ButtonEdit = Named(new QPushButton(QStringLiteral("Edit")), "ButtonEdit");
  h->addWidget(ButtonEdit);
  return GroupBoxGSAGSV;
}

QWidget* TFormMain::BuildSideColumn() {
  auto* column = new QWidget;
  auto* v = new QVBoxLayout(column);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(3);
  // The warning panel, hidden until the output cannot keep up.
  Panel1 = Named(new QFrame, "Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setAutoFillBackground(true);
  QPalette p = Panel1->palette();
  p.setColor(QPalette::Window, QColor(255, 255, 160));
  Panel1->setPalette(p);
  auto* pv = new QVBoxLayout(Panel1);
  pv->setContentsMargins(2, 2, 2, 2);
  LabelAlm1 = Named(new QLabel, "LabelAlm1");
  LabelAlm2 = Named(new QLabel, "LabelAlm2");
  LabelAlm1->setWordWrap(true);
  LabelAlm2->setWordWrap(true);
  pv->addWidget(LabelAlm1);
  pv->addWidget(LabelAlm2);
  // Showing or hiding the panel, or a new byte count in it, must move nothing: its
  // room is kept while it is hidden, it takes the column's width instead of asking
  // for one, and its height is fixed (SizeWarningPanel), so its wrapped texts never
  // change the layout.
  QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  policy.setRetainSizeWhenHidden(true);
  Panel1->setSizePolicy(policy);
  SizeWarningPanel();
  Panel1->hide();
  v->addWidget(Panel1);
  v->addStretch();
  ButtonLoadCSV = Named(new QPushButton(QStringLiteral("Load CSV")), "ButtonLoadCSV");
  ButtonSaveCSV = Named(new QPushButton(QStringLiteral("Save CSV")), "ButtonSaveCSV");
  ButtonLoad = Named(new QPushButton(QStringLiteral("Load ini")), "ButtonLoad");
  LabelMonitor = Named(new ClickLabel(QStringLiteral("Monitor")), "LabelMonitor");
  LabelMonitor->setCursor(Qt::PointingHandCursor);
  LabelMonitor->setAlignment(Qt::AlignCenter);
  ButtonExit = Named(new QPushButton(QStringLiteral("Exit")), "ButtonExit");
  for (QWidget* w : std::initializer_list<QWidget*>{ButtonLoadCSV, ButtonSaveCSV, ButtonLoad,
                                                    LabelMonitor, ButtonExit}) {
    w->setFixedWidth(90);
    v->addWidget(w);
  }
  return column;
}

void TFormMain::FitGridColumns() {
  QHeaderView* header = StringGrid1->horizontalHeader();
  const QFontMetrics metrics = header->fontMetrics();
  int width = StringGrid1->verticalHeader()->width() + 4 +
              StringGrid1->verticalScrollBar()->sizeHint().width();
  for (int c = 1; c < 5; ++c) {
    const QString heading = Q(state_.StringGrid1.Cell(0, c));
    QStyleOptionHeader option;
    option.initFrom(header);
    option.text = heading;
    option.section = c - 1;
    // The text and the style's margins on both sides, as the header draws it.
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, &option, header);
    const int column =
        std::max(kColumnWidths[c], metrics.horizontalAdvance(heading) + 2 * margin + 2);
    StringGrid1->setColumnWidth(c - 1, column);
    width += column;
  }
  StringGrid1->setFixedWidth(width);
}

void TFormMain::SizeWarningPanel() {
  // Three lines for each of the two texts: the longest ones wrap to two or three in
  // the column's width.
  const QMargins m = Panel1->layout()->contentsMargins();
  Panel1->setFixedHeight(6 * Panel1->fontMetrics().lineSpacing() + Panel1->layout()->spacing() +
                         m.top() + m.bottom() + 2 * Panel1->frameWidth());
}

void TFormMain::BindControls() {
  // Each control writes its value into the state as the user changes it; the state
  // pushes values back through SyncFromState (syncing_ keeps that from echoing).
  auto bindCombo = [this](QComboBox* box, ComboState* combo, std::function<void()> changed) {
    connect(box, &QComboBox::currentTextChanged, this, [this, box, combo, changed] {
      if (syncing_) return;
      combo->Text = S(box->currentText());
      combo->ItemIndex = box->findText(box->currentText(), Qt::MatchFixedString);
      if (box->currentText() != box->itemText(combo->ItemIndex)) combo->ItemIndex = -1;
      if (changed) changed();
    });
  };
  bindCombo(ComboBoxHz, &state_.ComboBoxHz, [this] { core_->FrequencyChanged(); });
  bindCombo(ComboBoxNMEA, &state_.ComboBoxNMEA, [this] { core_->SentenceFormatChanged(); });
  bindCombo(ComboBoxNavSt, &state_.ComboBoxNavSt, nullptr);
  // The status keeps its letter only ("S: Safe" leaves "S"), whether chosen, typed or
  // loaded: cut once the change is complete and the list has closed.
  connect(ComboBoxNavSt, &QComboBox::currentTextChanged, this, [this](const QString& text) {
    if (text.size() <= 1) return;
    QTimer::singleShot(0, this, [this] {
      if (ComboBoxNavSt->currentText().size() > 1)
        ComboBoxNavSt->setEditText(ComboBoxNavSt->currentText().left(1));
    });
  });
  for (int s = 0; s < SentenceCount; ++s) {
    bindCombo(ComboBoxInterval[s], &state_.ComboBoxInterval[s],
              [this] { core_->IntervalsChanged(); });
    connect(CheckBoxSentence[s], &QCheckBox::toggled, this, [this, s](bool on) {
      if (!syncing_) state_.CheckBoxSentence[s].Checked = on;
    });
  }
  for (int s = 0; s < PrefixSentenceCount; ++s) {
    for (int i = 0; i < PrefixButtonCount(s); ++i) {
      QRadioButton* button = RadioButtonPrefix[s][i];
      connect(button, &QRadioButton::toggled, this, [this, s, button](bool on) {
        if (!syncing_ && on) CheckPrefixButton(state_, s, S(button->objectName()));
      });
    }
  }
  bindCombo(ComboBoxStatus, &state_.ComboBoxStatus, [this] { core_->FixIndicatorsChanged(); });
  bindCombo(ComboBoxRMCst, &state_.ComboBoxRMCst, [this] { core_->FixIndicatorsChanged(); });
  bindCombo(ComboBoxDegDec, &state_.ComboBoxDegDec, [this] { core_->IntervalsChanged(); });
  bindCombo(ComboBoxTimeDec, &state_.ComboBoxTimeDec, [this] { core_->IntervalsChanged(); });
  bindCombo(ComboBoxGeoid, &state_.ComboBoxGeoid, [this] { core_->IntervalsChanged(); });
  connect(CheckBoxRMCprec, &QCheckBox::toggled, this, [this](bool on) {
    if (!syncing_) state_.CheckBoxRMCprec.Checked = on;
  });
  connect(CheckBoxRep, &QCheckBox::toggled, this, [this](bool on) {
    if (!syncing_) state_.CheckBoxRep.Checked = on;
  });

  bindCombo(ComboBoxPort, &state_.ComboBoxPort, [this] { core_->PortTextChanged(); });
  connect(ComboBoxPort, &DropDownComboBox::dropDown, this, [this] { core_->PortListDropDown(); });
  connect(ComboBoxPort, &DropDownComboBox::closeUp, this, [this] {
    // After the chosen item has been put into the box.
    QTimer::singleShot(0, this, [this] { core_->PortListClosed(); });
  });
  bindCombo(ComboBoxBaud, &state_.ComboBoxBaud, nullptr);
  connect(EditTCPport, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!syncing_) state_.EditTCPport.Text = S(text);
  });
  connect(ButtonOpen, &QPushButton::clicked, this, [this] { core_->ButtonOpenClick(); });
  connect(ButtonClose, &QPushButton::clicked, this, [this] { core_->ButtonCloseClick(); });

  connect(ButtonStart, &QPushButton::clicked, this, [this] { core_->ButtonStartClick(true); });
  connect(ButtonIdling, &QPushButton::clicked, this, [this] { core_->ButtonIdlingClick(); });
  connect(ButtonStop, &QPushButton::clicked, this, [this] { core_->ButtonStopClick(); });
  for (int i = 0; i < 9; ++i)
    connect(ButtonJ[i], &QPushButton::clicked, this,
            [this, i] { core_->ButtonJ1Click(JumpTarget(i + 1)); });
  connect(gridModel_, &QAbstractItemModel::dataChanged, this, [this] { core_->TrackEdited(); });

  for (int i = 0; i < 4; ++i)
    connect(RadioButtonGSA[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (syncing_ || !on) return;
      state_.RadioButtonGSAChecked = i + 1;
      core_->RadioButtonGSA1Click();
    });
  connect(ButtonEdit, &QPushButton::clicked, this, &TFormMain::ButtonEditClick);
  connect(ButtonLoadCSV, &QPushButton::clicked, this, [this] { core_->ButtonLoadCSVClick(); });
  connect(ButtonSaveCSV, &QPushButton::clicked, this, [this] { core_->ButtonSaveCSVClick(); });
  connect(ButtonLoad, &QPushButton::clicked, this, [this] { core_->ButtonLoadClick(); });
  connect(ButtonExit, &QPushButton::clicked, this, &TFormMain::ButtonExitClick);
  connect(LabelMonitor, &ClickLabel::clicked, this, &TFormMain::LabelMonitorClick);
  connect(LabelSpeed1, &ClickLabel::clicked, this, &TFormMain::LabelSpeed1Click);
  connect(LabelCHG, &ClickLabel::clicked, this, &TFormMain::LabelCHGClick);
}

void TFormMain::SyncCombo(QComboBox* box, const ComboState& combo) {
  QStringList items;
  for (const std::string& item : combo.Items) items << Q(item);
  QStringList current;
  for (int i = 0; i < box->count(); ++i) current << box->itemText(i);
  if (current != items) {
    box->clear();
    box->addItems(items);
  }
  if (combo.ItemIndex >= 0 && combo.ItemIndex < box->count() && !box->isEditable()) {
    box->setCurrentIndex(combo.ItemIndex);
  } else if (box->isEditable()) {
    // Left alone when it already shows the text: setting it again would move the
    // cursor of a box the user is typing in.
    if (box->currentText() != Q(combo.Text) || box->currentIndex() != combo.ItemIndex) {
      box->setCurrentIndex(combo.ItemIndex >= 0 && combo.ItemIndex < box->count() &&
                                   box->itemText(combo.ItemIndex) == Q(combo.Text)
                               ? combo.ItemIndex
                               : -1);
      box->setEditText(Q(combo.Text));
    }
  } else {
    box->setCurrentIndex(box->findText(Q(combo.Text)));
  }
  box->setEnabled(combo.Enabled);
}

void TFormMain::SyncPrefixPanel(int s) {
  const int checked = state_.PrefixButtonChecked[s];
  for (int i = 0; i < PrefixButtonCount(s); ++i) {
    QRadioButton* button = RadioButtonPrefix[s][i];
    button->setText(Q(PrefixCaption(state_, s, i + 1)));
    // Exclusivity would refuse to leave a panel with no button checked.
    button->setAutoExclusive(false);
    button->setChecked(checked == i + 1);
    button->setAutoExclusive(true);
  }
}

void TFormMain::SyncFromState() {
  syncing_ = true;
  SyncCombo(ComboBoxHz, state_.ComboBoxHz);
  SyncCombo(ComboBoxNMEA, state_.ComboBoxNMEA);
  SyncCombo(ComboBoxNavSt, state_.ComboBoxNavSt);
  for (int s = 0; s < SentenceCount; ++s) {
    CheckBoxSentence[s]->setChecked(state_.CheckBoxSentence[s].Checked);
    CheckBoxSentence[s]->setEnabled(state_.CheckBoxSentence[s].Enabled);
    SyncCombo(ComboBoxInterval[s], state_.ComboBoxInterval[s]);
  }
  for (int s = 0; s < PrefixSentenceCount; ++s) SyncPrefixPanel(s);
  // Nav. status exists from NMEA 4.1 on, GNS from 2.3 on.
  if (auto* label = findChild<QLabel*>(QStringLiteral("LabelNavSt")))
    label->setEnabled(state_.ComboBoxNavSt.Enabled);
  for (int i = 0; i < PrefixButtonCount(sGNS); ++i)
    RadioButtonPrefix[sGNS][i]->setEnabled(state_.CheckBoxSentence[sGNS].Enabled);
  SyncCombo(ComboBoxStatus, state_.ComboBoxStatus);
  SyncCombo(ComboBoxRMCst, state_.ComboBoxRMCst);
  SyncCombo(ComboBoxDegDec, state_.ComboBoxDegDec);
  SyncCombo(ComboBoxTimeDec, state_.ComboBoxTimeDec);
  SyncCombo(ComboBoxGeoid, state_.ComboBoxGeoid);
  CheckBoxRMCprec->setChecked(state_.CheckBoxRMCprec.Checked);
  CheckBoxRep->setChecked(state_.CheckBoxRep.Checked);

  SyncCombo(ComboBoxPort, state_.ComboBoxPort);
  SyncCombo(ComboBoxBaud, state_.ComboBoxBaud);
  LabelBaud->setVisible(state_.BaudControlsVisible);
  ComboBoxBaud->setVisible(state_.BaudControlsVisible);
  LabelTCPport->setVisible(state_.EditTCPport.Visible);
  EditTCPport->setVisible(state_.EditTCPport.Visible);
  if (EditTCPport->text() != Q(state_.EditTCPport.Text))
    EditTCPport->setText(Q(state_.EditTCPport.Text));
  EditTCPport->setEnabled(state_.EditTCPport.Enabled);

  for (int i = 0; i < 4; ++i) {
    RadioButtonGSA[i]->setAutoExclusive(false);
    RadioButtonGSA[i]->setChecked(state_.RadioButtonGSAChecked == i + 1);
    RadioButtonGSA[i]->setAutoExclusive(true);
  }
  LabelIni->setText(Q(state_.LabelIni));
  ShowRunControls();
  syncing_ = false;
}

void TFormMain::ShowRunControls() {
  ButtonStart->setEnabled(state_.ButtonStart.Enabled);
  ButtonIdling->setEnabled(state_.ButtonIdling.Enabled);
  ButtonStop->setEnabled(state_.ButtonStop.Enabled);
  ButtonOpen->setEnabled(state_.ButtonOpen.Enabled);
  ButtonClose->setEnabled(state_.ButtonClose.Enabled);
  ComboBoxPort->setEnabled(state_.ComboBoxPort.Enabled);
  ComboBoxBaud->setEnabled(state_.ComboBoxBaud.Enabled);
  EditTCPport->setEnabled(state_.EditTCPport.Enabled);
  ButtonLoad->setEnabled(state_.ButtonLoad.Enabled);
  ButtonLoadCSV->setEnabled(state_.ButtonLoadCSV.Enabled);
  ButtonSaveCSV->setEnabled(state_.ButtonSaveCSV.Enabled);
  ButtonEdit->setEnabled(state_.ButtonEdit.Enabled);
  StringGrid1->setEnabled(state_.StringGrid1Enabled);
  for (QPushButton* b : ButtonJ) b->setEnabled(state_.JumpButtonsEnabled);
}

void TFormMain::ReloadGrid() {
  gridModel_->Reload();
  gridModel_->HeadingsChanged();
}

int TFormMain::TopRow() const {
  const int row = StringGrid1->rowAt(0);
  return row < 0 ? 1 : TrackTableModel::GridRow(row);
}

void TFormMain::SelectGridRow(int row, bool atTop) {
  const QModelIndex index = gridModel_->index(TrackTableModel::ModelRow(row), 0);
  if (!index.isValid()) return;
  StringGrid1->setCurrentIndex(index);
  StringGrid1->scrollTo(
      index, atTop ? QAbstractItemView::PositionAtTop : QAbstractItemView::EnsureVisible);
}

void TFormMain::ApplyLanguage() {
  japanese_ = InstallLanguage(UserLocale());
  const std::string& fontName = japanese_ ? state_.JpFontName : state_.EngFontName;
  const int fontSize = japanese_ ? state_.JpFontSize : state_.EngFontSize;
  // Qt scales for the display itself; the point size is kept as stored.
  const QFont font = WindowFont(fontName, fontSize);
  setFont(font);
  for (int i = 0; i < kCaptionTextCount; ++i) {
    const QString name = QLatin1String(kCaptionTexts[i].name);
    const QString text = Translate(kCaptionTexts[i].text);
    if (name.startsWith(QLatin1String("StringGrid1."))) {
      state_.StringGrid1.SetCell(0, name.back().digitValue(), S(text));
      continue;
    }
    QWidget* w = findChild<QWidget*>(name);
    if (auto* label = qobject_cast<QLabel*>(w))
      label->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(w))
      box->setTitle(text);
    else if (auto* check = qobject_cast<QCheckBox*>(w))
      check->setText(text);
  }
  for (int i = 0; i < kHintTextCount; ++i) {
    if (QWidget* w = findChild<QWidget*>(QLatin1String(kHintTexts[i].name)))
      w->setToolTip(Translate(kHintTexts[i].text).remove(QLatin1Char('\r')));
  }
  gridModel_->HeadingsChanged();
  SizeWarningPanel();
  FitGridColumns();
  monitor_->setFont(font);
  editor_->setFont(font);
}

void TFormMain::ShowSpeedUnit() {
  const QString heading = SpeedHeading(state_.SpeedUnit);
  if (!heading.isEmpty()) LabelSpeed1->setText(heading);
}

void TFormMain::LabelSpeed1Click() {
  if (state_.ButtonStop.Enabled) return;
  if (state_.SpeedUnit > 2) return;
  state_.SpeedUnit = uint8_t((state_.SpeedUnit + 1) % 3);
  ShowSpeedUnit();
}

void TFormMain::LabelCHGClick() {
  CycleCustomPrefix(state_);
  syncing_ = true;
  for (int s = 0; s < PrefixSentenceCount; ++s)
    if (s != sHDT) RadioButtonPrefix[s][5]->setText(Q(state_.CustomPrefixCaption));
  syncing_ = false;
}

void TFormMain::UpdateTitle() {
  if (!state_.ShowFileInTitle) return;
  setWindowTitle(QStringLiteral("Fixcaster %1 (%2)")
                     .arg(Q(state_.VersionText), QFileInfo(Q(state_.SettingsPath)).fileName()));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && core_)
    core_->RequestStop();
  return QWidget::eventFilter(watched, event);
}

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Without a window manager (or on the offscreen platform) the window may never be
  // activated; the start-up must not wait for that.
  if (!state_.FirstActivationDone) {
    activateWindow();
    QTimer::singleShot(0, this, &TFormMain::FormActivate);
  }
}

void TFormMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TFormMain::FormActivate() {
  if (state_.FirstActivationDone) return;
  state_.FirstActivationDone = true;
  state_.StartupPending = true;
  // The first idle pass: once the events already queued have been handled.
  QTimer::singleShot(0, this, [this] {
    if (!state_.StartupPending) return;
    state_.StartupPending = false;
    RunStartup();
  });
}

void TFormMain::RunStartup() {
  ComboBoxPort->SetDropDownWidth(305);
  ButtonStart->setFocus();
  core_->LoadSettings();
  QCoreApplication::processEvents();
  if (!QString::fromStdString(state_.ComboBoxPort.Text).trimmed().isEmpty())
    core_->OpenOutputPort();
  ComboBoxNavSt->view()->setMinimumWidth(80);
  SplitChgPrefix(state_);
  // Lowered by one so that the cycle brings the stored entry back.
  --state_.ChgIndex;
  LabelCHGClick();
  ApplyCommandSwitches();
  UpdateTitle();
  startupDone_ = true;
}

void TFormMain::ApplyCommandSwitches() {
  bool start = false;
  for (const QString& argument : arguments_) {
    const QString a = argument.toUpper();
    if (a.size() != 2 || !a.startsWith(QLatin1Char('/'))) continue;
    if (a == QLatin1String("/A")) start = true;
    if (a == QLatin1String("/C")) state_.ShowFileInTitle = true;
  }
  if (start) core_->ButtonStartClick(false);
}

void TFormMain::LabelMonitorClick() {
  if (monitor_->isVisible() && !monitor_->isMinimized()) {
    monitor_->close();
  } else if (monitor_->isMinimized()) {
    monitor_->showNormal();
    monitor_->activateWindow();
  } else {
    monitor_->show();
  }
}

void TFormMain::ButtonEditClick() {
  if (editor_->isVisible())
    editor_->close();
  else
    editor_->show();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  core_->FormCloseQuery();
  event->accept();
  // Edits still open in the preset editor are not stored: the program ends.
  editor_->OnStore = nullptr;
  editor_->close();
  monitor_->close();
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  event->acceptProposedAction();
  HandleDroppedFiles(paths);
}

void TFormMain::HandleDroppedFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  core_->DroppedFile(paths.front());
}

}  // namespace fixcaster::ui
