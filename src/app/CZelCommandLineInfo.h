#pragma once

#include <QStringList>

namespace app {

// The command line: every argument is a path, in order, switches included.
class CZelCommandLineInfo {
public:
    // Takes the program's arguments without the program name. A switch ("-x",
    // or "/x" where x names no file and holds no further "/") is taken as the
    // path x with its marker removed, as it would be by a switch parser.
    void ParseArguments(const QStringList& arguments);
    void ParseParam(const QString& text, bool isFlag, bool isLast);

    // The next path and whether it was the last; an empty path and isLast when
    // there are none. isLast is left untouched while more paths follow.
    QString GetNextFile(bool& isLast);
    bool HasFiles() const { return hasFiles_; }

private:
    QStringList paths_;
    int cursor_ = 0;
    bool hasFiles_ = false;
};

}  // namespace app
