#include "app/CZelCommandLineInfo.h"

#include <QFileInfo>

namespace app {
namespace {

// "/x" is a switch only when it cannot be an absolute path: on this system
// every absolute path starts with "/", so a real file or anything deeper than
// the root is a path.
bool IsSlashSwitch(const QString& argument) {
    return argument.size() > 1 && argument.startsWith(u'/') && argument.indexOf(u'/', 1) < 0 &&
           !QFileInfo::exists(argument);
}

}  // namespace

void CZelCommandLineInfo::ParseArguments(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString text = arguments[i];
        bool isFlag = false;
        if ((text.size() > 1 && text.startsWith(u'-')) || IsSlashSwitch(text)) {
            text.remove(0, 1);
            isFlag = true;
        }
        ParseParam(text, isFlag, i + 1 == arguments.size());
    }
}

void CZelCommandLineInfo::ParseParam(const QString& text, bool /*isFlag*/, bool /*isLast*/) {
    paths_.append(text);
    hasFiles_ = true;
}

QString CZelCommandLineInfo::GetNextFile(bool& isLast) {
    if (paths_.isEmpty()) {
        isLast = true;
        return {};
    }
    if (cursor_ >= paths_.size()) {
        isLast = true;
        return {};
    }
    QString path = paths_[cursor_++];
    if (cursor_ >= paths_.size()) isLast = true;
    return path;
}

}  // namespace app
