#pragma once

#include <QTimer>

#include <array>
#include <functional>

#include "playlist/FolderCollector.h"
#include "playlist/PlayListModel.h"
#include "playlist/PlayListPanel.h"
#include "ui/CZelHelpTexts.h"
#include "ui/CZelToolWindow.h"

class CZelButton;
class CZelProportionalLayout;
class CZelSlide;
class QLabel;
class QLineEdit;
class QTreeWidget;

// The play list window: the list with its "Files" and "Time" columns and row
// icons, the find box (or, during a folder scan, its progress), and the
// buttons that add, delete, order, assign, rename and save. Its
// PlayListPanel decides; the window shows rows and forwards. Closing it only
// hides it. UI thread only.
class CZelPlayList2 final : public CZelToolWindow, private playlist::PlayListPanel::View {
    Q_OBJECT
public:
    // Rows added per refill tick: a long list shows in well under a second.
    static constexpr int kRowsPerTick = 250;
    // Files of a folder scan put in the list per tick.
    static constexpr int kScanFilesPerTick = 50;

    CZelPlayList2(playlist::PlayListModel& model, platform::MessagePort& mainWindow,
                  QWidget* parent = nullptr);
    ~CZelPlayList2() override;

    playlist::PlayListPanel& Panel() { return panel_; }
    QTreeWidget& List() { return *list_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }
    bool RefillDone() const;
    // A folder is being listed or its files put in the list.
    bool ScanUnderWay() const;

    // Where the dialogs get their answers; tests put theirs here.
    using FileChooser = std::function<QStringList(QWidget* parent, const QString& filter)>;
    using FolderChooser = std::function<QString(QWidget* parent)>;
    using SavePathChooser = std::function<QString(QWidget* parent, const QString& filter)>;
    using DeckChooser = std::function<std::optional<playlist::DeckChoice>(QWidget* parent)>;
    void SetFileChooser(FileChooser chooser) { chooseFiles_ = std::move(chooser); }
    void SetFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    void SetSavePathChooser(SavePathChooser chooser) { chooseSavePath_ = std::move(chooser); }
    void SetDeckChooser(DeckChooser chooser) { chooseDeck_ = std::move(chooser); }
    // Asks for a track length; false while the measurer is busy.
    void SetLengthRequester(std::function<bool(const QString& path)> request) {
        requestLength_ = std::move(request);
    }

    // The user's actions, as the buttons do them.
    void AddFiles();
    void AddFolder();
    void SaveList();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // While the window is active the keys are typing, not shortcuts.
    bool event(QEvent* event) override;

private:
    // playlist::PlayListPanel::View
    void RowsChanged() override;
    void RowsAppended() override;
    void RowChanged(int position) override;
    void ShowSelection(int position) override;

    void CreateControls();
    void PlaceControls();
    void ConnectControls();
    void Refill();
    void ScanFolderFiles(const QStringList& files, playlist::DeckChoice choice);
    void ScanTick();
    void RequestLength();
    void ShowScan(bool scanning);
    void Send(platform::Message message, const platform::Payload& payload = {});

    platform::MessagePort& port_;
    playlist::PlayListPanel panel_;
    playlist::FolderCollector collector_;
    CZelHelpTexts helpTexts_;
    CZelProportionalLayout* layout_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* findLabel_ = nullptr;
    QLineEdit* find_ = nullptr;
    CZelSlide* progress_ = nullptr;
    CZelButton* addFile_ = nullptr;
    CZelButton* addFolder_ = nullptr;
    CZelButton* delete_ = nullptr;
    CZelButton* save_ = nullptr;
    CZelButton* moveUp_ = nullptr;
    CZelButton* moveDown_ = nullptr;
    CZelButton* deckSwap_ = nullptr;
    CZelButton* nameDisplay_ = nullptr;
    QTimer refillTimer_;  // timer 0
    QTimer scanTimer_;    // timers 1 and 2
    QTimer lengthTimer_;  // timer 3
    FileChooser chooseFiles_;
    FolderChooser chooseFolder_;
    SavePathChooser chooseSavePath_;
    DeckChooser chooseDeck_;
    std::function<bool(const QString&)> requestLength_;
};
