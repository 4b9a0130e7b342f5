#include "ui/CZelHelpTexts.h"

#include "ui/controls/CZelControl.h"

bool CZelHelpTexts::Register(QWidget* control, const QString& title, const QString& description,
                             const QString& toolTip) {
    if (Count() >= kMaxEntries || control == nullptr) return false;
    entries_.push_back(Entry{control, title, description, toolTip});
    if (auto* ours = qobject_cast<CZelControl*>(control))
        ours->SetHelp(title, description, toolTip);
    else
        control->setToolTip(toolTip);
    return true;
}

const CZelHelpTexts::Entry* CZelHelpTexts::Find(const QWidget* control) const {
    for (const Entry& entry : entries_)
        if (entry.control == control) return &entry;
    return nullptr;
}
