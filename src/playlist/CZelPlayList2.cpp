#include "playlist/CZelPlayList2.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dsp/PanelLayout.h"
#include "platform/MessagePort.h"
#include "platform/keyboard/KeyboardEnabled.h"
#include "playlist/ListFiles.h"
#include "ui/CZelProportionalLayout.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/ControlColours.h"

using platform::Message;
using playlist::DeckChoice;

namespace {

constexpr QSize kDesign(452, 300);
constexpr int kTimeColumnWidth = 46;
constexpr int kRefillMs = 10;
constexpr int kScanMs = 4;
constexpr int kLengthMs = 500;
constexpr double kButtonPoints = 8.0;

// The music types of the file dialogs: MP3, WAV and WMA first.
QString MusicFilter(bool withLists) {
    QStringList types;
    for (const QString& extension : playlist::MusicExtensions()) types += "*." + extension;
    if (withLists) types += {"*.m3u", "*.m3u8", "*.pls"};
    const QString joined = types.join(' ');
    return QStringLiteral("Files (%1);;All Files (*)").arg(joined);
}

// The row icons, drawn here: a disc in the deck's colour; a ring round it
// for the cursor; a play mark in it when loaded; a red cross when unplayable.
QIcon RowIconImage(playlist::RowIcon icon) {
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (icon == playlist::RowIcon::Unplayable) {
        p.setPen(QPen(QColor(controlcolours::kLedRed), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        return QIcon(image);
    }
    const bool b = icon == playlist::RowIcon::DeckB || icon == playlist::RowIcon::LoadedB ||
                   icon == playlist::RowIcon::CurrentB;
    const QColor colour = dsp::DeckColour(b ? 1 : 0);
    const bool loaded = icon == playlist::RowIcon::LoadedA || icon == playlist::RowIcon::LoadedB;
    const bool current = icon == playlist::RowIcon::CurrentA || icon == playlist::RowIcon::CurrentB;
    p.setPen(Qt::NoPen);
    p.setBrush(loaded ? colour : colour.darker(170));
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
    if (current) {
        p.setPen(QPen(QColor(controlcolours::kText), 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 7.0, 7.0);
    }
    if (loaded) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(controlcolours::kPanelDeep));
        const QPointF play[3] = {{6.5, 5.0}, {11.0, 8.0}, {6.5, 11.0}};
        p.drawPolygon(play, 3);
    }
    return QIcon(image);
}

// Drawn once: a refill shows thousands of rows.
const std::array<QIcon, playlist::kRowIconCount>& RowIcons() {
    static const std::array<QIcon, playlist::kRowIconCount> icons = [] {
        std::array<QIcon, playlist::kRowIconCount> all;
        for (size_t i = 0; i < all.size(); ++i) all[i] = RowIconImage(static_cast<playlist::RowIcon>(i));
        return all;
    }();
    return icons;
}

// "Choose Deck": deck A, deck B or alternating, A preselected.
std::optional<DeckChoice> AskDeck(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Choose Deck");
    auto* layout = new QVBoxLayout(&dialog);
    QRadioButton* choices[3] = {new QRadioButton("Deck A"), new QRadioButton("Deck B"),
                                new QRadioButton("Alternate Decks")};
    for (QRadioButton* choice : choices) layout->addWidget(choice);
    choices[0]->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (choices[i]->isChecked()) return static_cast<DeckChoice>(i);
    return DeckChoice::DeckA;
}

}  // namespace

CZelPlayList2::CZelPlayList2(playlist::PlayListModel& model, platform::MessagePort& mainWindow,
                             QWidget* parent)
    : CZelToolWindow(ui::kPlayListCode, -1, "Play List", mainWindow, parent),
      port_(mainWindow),
      panel_(model, *this,
             [this](Message message, const platform::Payload& payload) { Send(message, payload); }),
      collector_([this](const QStringList& files, DeckChoice choice) { ScanFolderFiles(files, choice); }) {
    resize(kDesign);
    chooseFiles_ = [](QWidget* p, const QString& filter) {
        return QFileDialog::getOpenFileNames(p, "Add File", {}, filter);
    };
    chooseFolder_ = [](QWidget* p) {
        return QFileDialog::getExistingDirectory(p, "Select a folder of tracks.");
    };
    chooseSavePath_ = [](QWidget* p, const QString& filter) {
        return QFileDialog::getSaveFileName(p, "Save Playlist", {}, filter);
    };
    chooseDeck_ = &AskDeck;
    CreateControls();
    PlaceControls();
    ConnectControls();
    lengthTimer_.start(kLengthMs);
}

CZelPlayList2::~CZelPlayList2() = default;

void CZelPlayList2::Send(Message message, const platform::Payload& payload) {
    port_.Send(message, payload);
}

void CZelPlayList2::CreateControls() {
    list_ = new QTreeWidget(this);
    list_->setObjectName("playList");
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Files", "Time"});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setSectionsMovable(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    list_->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    list_->header()->setStretchLastSection(false);
    list_->setColumnWidth(1, kTimeColumnWidth);
    list_->setIconSize(QSize(16, 16));
    list_->setFocusPolicy(Qt::NoFocus);

    findLabel_ = new QLabel("Find:", this);
    find_ = new QLineEdit(this);
    find_->setObjectName("findBox");
    progress_ = new CZelSlide(Qt::Horizontal, this);
    progress_->setObjectName("scanProgress");
    progress_->SetMeter(true);
    progress_->hide();

    // The short captions stand in on small screens, where the long ones
    // cannot fit.
    auto button = [this](const char* name, const char* caption, const char* shortCaption = "") {
        auto* b = new CZelButton(CZelButton::Kind::Push, this);
        b->setObjectName(name);
        b->SetCaption(caption);
        b->SetShortCaption(shortCaption);
        b->SetGlow(false);
        return b;
    };
    addFile_ = button("addFile", "Add File", "File");
    addFolder_ = button("addFolder", "Add Folder", "Folder");
    delete_ = button("deleteTrack", "Delete Track", "Delete");
    save_ = button("savePlaylist", "Save Playlist", "Save");
    moveUp_ = button("moveTrackUp", "Move Track Up", "Up");
    moveDown_ = button("moveTrackDown", "Move Track Down", "Down");
    deckSwap_ = button("deckSwap", "Deck Swap", "Swap");
    nameDisplay_ = button("nameDisplayType", "Name");
}

void CZelPlayList2::PlaceControls() {
    layout_ = new CZelProportionalLayout(this, kDesign);
    layout_->Add(list_, QRectF(0.05, 0.14, 0.75, 0.64), kButtonPoints);
    layout_->Add(findLabel_, QRectF(0.05, 0.03, 0.1, 0.07), kButtonPoints);
    layout_->Add(find_, QRectF(0.16, 0.03, 0.64, 0.07), kButtonPoints);
    layout_->Add(progress_, QRectF(0.05, 0.03, 0.75, 0.07));
    const struct {
        CZelButton* button;
        QRectF place;
        const char* title;
        const char* text;
        const char* tip;
    } buttons[] = {
        {addFile_, {0.05, 0.825, 0.15, 0.15}, "Add File:", "Adds music files or play lists.", "add file(s)"},
        {addFolder_,
         {0.325, 0.825, 0.15, 0.15},
         "Add Folder:",
         "Adds a folder and subfolders of music files.",
         "add folder"},
        {save_, {0.6, 0.825, 0.15, 0.15}, "Save Playlist:", "Saves the playlist.", "save playlist"},
        {deckSwap_,
         {0.825, 0.65, 0.15, 0.15},
         "Deck Swap:",
         "Switches Decks for music files.  Does not do anything with CD tracks.",
         "deck swap"},
        {delete_,
         {0.85, 0.85, 0.15, 0.15},
         "Delete Track:",
         "Deletes the selected track.  Hold shift and press to delete all tracks.",
         "delete track"},
        {moveUp_,
         {0.825, 0.22, 0.15, 0.16},
         "Move Track Up:",
         "Moves the selected track up.",
         "move track up"},
        {moveDown_,
         {0.825, 0.42, 0.15, 0.16},
         "Move Track Down:",
         "Moves the selected track down.",
         "move track down"},
        {nameDisplay_,
         {0.85, 0.0, 0.15, 0.15},
         "Name Display Type:",
         "Changes the name display between Name, Path and Tag.",
         "name display type"},
    };
    for (const auto& b : buttons) {
        layout_->Add(b.button, b.place, kButtonPoints);
        helpTexts_.Register(b.button, b.title, b.text, b.tip);
    }
}

void CZelPlayList2::ConnectControls() {
    connect(addFile_, &CZelButton::Clicked, this, &CZelPlayList2::AddFiles);
    connect(addFolder_, &CZelButton::Clicked, this, &CZelPlayList2::AddFolder);
    connect(save_, &CZelButton::Clicked, this, &CZelPlayList2::SaveList);
    connect(delete_, &CZelButton::Pressed, this,
            [this] { panel_.Delete(delete_->PressModifiers() == Qt::ShiftModifier); });
    connect(moveUp_, &CZelButton::Pressed, this, [this] { panel_.MoveSelectedUp(); });
    connect(moveDown_, &CZelButton::Pressed, this, [this] { panel_.MoveSelectedDown(); });
    connect(deckSwap_, &CZelButton::Pressed, this, [this] { panel_.SwapSelectedDeck(); });
    connect(nameDisplay_, &CZelButton::Pressed, this, [this] {
        panel_.CycleNameDisplay();
        nameDisplay_->SetCaption(playlist::NameDisplayCaption(panel_.Display()));
    });
    connect(list_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { panel_.Click(list_->indexOfTopLevelItem(item)); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { panel_.DoubleClick(list_->indexOfTopLevelItem(item)); });
    // Enter asks the main window, which has the panel find the next row.
    connect(find_, &QLineEdit::textChanged, this, [this](const QString& text) { panel_.SetFindText(text); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { Send(Message::PlayListFindNext); });
    refillTimer_.setInterval(kRefillMs);
    connect(&refillTimer_, &QTimer::timeout, this, &CZelPlayList2::Refill);
    scanTimer_.setInterval(kScanMs);
    connect(&scanTimer_, &QTimer::timeout, this, &CZelPlayList2::ScanTick);
    connect(&lengthTimer_, &QTimer::timeout, this, &CZelPlayList2::RequestLength);
}

void CZelPlayList2::AddFiles() {
    Send(Message::BufferLead60);
    const QStringList files = chooseFiles_(this, MusicFilter(true));
    if (!files.isEmpty())
        if (const auto choice = chooseDeck_(this)) panel_.AddFiles(files, *choice);
    Send(Message::BufferLead20);
}

void CZelPlayList2::AddFolder() {
    Send(Message::BufferLead60);
    const QString folder = chooseFolder_(this);
    if (!folder.isEmpty()) {
        if (const auto choice = chooseDeck_(this)) {
            // The files are listed off this thread; the ticks take them in.
            // The empty progress shows the scan has begun.
            if (!ScanUnderWay()) progress_->SetValue(0);
            ShowScan(true);
            collector_.Collect(folder, *choice);
            scanTimer_.start();
        }
    }
    Send(Message::BufferLead20);
}

void CZelPlayList2::ScanFolderFiles(const QStringList& files, DeckChoice choice) {
    panel_.BeginScan(files, choice);
    progress_->SetRange(0, std::max(1, panel_.ScanCount()));
}

bool CZelPlayList2::ScanUnderWay() const {
    return collector_.Busy() || panel_.Scanning();
}

void CZelPlayList2::ScanTick() {
    collector_.Poll();
    panel_.StepScan(kScanFilesPerTick);
    progress_->SetValue(panel_.ScanDone());
    if (!ScanUnderWay()) {
        scanTimer_.stop();
        ShowScan(false);
    }
}

void CZelPlayList2::ShowScan(bool scanning) {
    progress_->setVisible(scanning);
    find_->setVisible(!scanning);
    findLabel_->setVisible(!scanning);
}

void CZelPlayList2::SaveList() {
    Send(Message::BufferLead60);
    const QString path = chooseSavePath_(this, QStringLiteral("Files (*.m3u *.m3u8 *.pls);;All Files (*)"));
    if (!path.isEmpty()) {
        setWindowTitle(path);
        if (panel_.Model().Save(path) == playlist::PlayListModel::SaveResult::WriteError)
            QMessageBox::warning(this, "Play List", "File Write Error");
    }
    Send(Message::BufferLead20);
}

void CZelPlayList2::RequestLength() {
    if (!requestLength_) return;
    if (const auto path = panel_.NextLengthToMeasure()) requestLength_(*path);
}

bool CZelPlayList2::RefillDone() const {
    return !refillTimer_.isActive() && list_->topLevelItemCount() == panel_.Model().Count();
}

// ---- What the panel shows ----

void CZelPlayList2::RowsChanged() {
    list_->clear();
    refillTimer_.start();
}

void CZelPlayList2::RowsAppended() {
    refillTimer_.start();
}

void CZelPlayList2::Refill() {
    const int count = panel_.Model().Count();
    for (int n = 0; n < kRowsPerTick && list_->topLevelItemCount() < count; ++n) {
        const int row = list_->topLevelItemCount();
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, panel_.FilesText(row));
        item->setText(1, panel_.TimeText(row));
        item->setIcon(0, RowIcons()[static_cast<size_t>(playlist::IconOf(*panel_.Model().Entry(row)))]);
        if (row == panel_.Selected()) ShowSelection(row);
    }
    if (list_->topLevelItemCount() >= count) refillTimer_.stop();
}

void CZelPlayList2::RowChanged(int position) {
    QTreeWidgetItem* item = list_->topLevelItem(position);
    const playlist::PlayListEntry* entry = panel_.Model().Entry(position);
    if (!item || !entry) return;  // the refill shows it when it gets there
    item->setText(0, panel_.FilesText(position));
    item->setText(1, panel_.TimeText(position));
    item->setIcon(0, RowIcons()[static_cast<size_t>(playlist::IconOf(*entry))]);
}

void CZelPlayList2::ShowSelection(int position) {
    QTreeWidgetItem* item = list_->topLevelItem(position);
    list_->setCurrentItem(item);
    if (item) list_->scrollToItem(item);
}

bool CZelPlayList2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) platform::keyboard::SetPlayListActive(true);
    if (event->type() == QEvent::WindowDeactivate) platform::keyboard::SetPlayListActive(false);
    return CZelToolWindow::event(event);
}

void CZelPlayList2::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    const int scrollBar = list_->verticalScrollBar()->sizeHint().width();
    list_->setColumnWidth(0, std::max(20, list_->width() - kTimeColumnWidth - scrollBar - 4));
}
