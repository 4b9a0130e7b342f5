#pragma once

#include <QDialog>
#include <QStringList>

class CZelSettings;
class QCheckBox;
class QLabel;
class QPushButton;

// The "Tip Of The Day" window. It shows the tip whose index is stored in the
// settings; "Next Tip" moves the stored index on and shows that tip, and OK
// moves it on once more before closing, so that the next start shows the tip
// after the one on screen. Closing it any other way leaves the index alone.
// The check box saves at once whether the window appears at start-up.
class CZelTipOfTheDay : public QDialog {
    Q_OBJECT
public:
    explicit CZelTipOfTheDay(const CZelSettings& settings, QWidget* parent = nullptr);

    // Runs the window modally if the user wants tips at start-up; returns
    // whether it was shown.
    static bool ShowAtStartUpIfWanted(const CZelSettings& settings, QWidget* parent);

    int TipCount() const { return static_cast<int>(tips_.size()); }

private:
    void CreateControls();
    void BuildTipList();
    // The stored index, or the first tip's when the stored one names no tip.
    int StoredIndex() const;
    int NextIndex() const { return (StoredIndex() + 1) % TipCount(); }
    void ShowTip(int index);
    void OnNextTip();
    void OnShowTipsClicked(bool checked);
    void OnOk();

    const CZelSettings& settings_;
    QStringList tips_;
    QLabel* tipText_ = nullptr;
    QPushButton* nextTip_ = nullptr;
    QCheckBox* showTips_ = nullptr;
    QPushButton* ok_ = nullptr;
};
