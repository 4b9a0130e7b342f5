#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

// A window's table of help texts: for each control a title, a description and
// the short text that becomes its tool tip. A window holds at most
// kMaxEntries; registrations past that are ignored. UI thread only.
class CZelHelpTexts {
public:
    static constexpr int kMaxEntries = 100;

    struct Entry {
        QPointer<QWidget> control;
        QString title;
        QString description;
        QString toolTip;
    };

    // Sets the control's tool tip (and the help of one of our controls).
    // False, and nothing done, when the table is full.
    bool Register(QWidget* control, const QString& title, const QString& description, const QString& toolTip);

    int Count() const { return static_cast<int>(entries_.size()); }
    const Entry& At(int index) const { return entries_.at(index); }
    // The entry registered for `control`, or nullptr.
    const Entry* Find(const QWidget* control) const;

private:
    std::vector<Entry> entries_;
};
