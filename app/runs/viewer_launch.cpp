#include "viewer_launch.h"

#include <QProcess>
#include <QStringList>

namespace oakvane {

bool start_detached(const std::string& program, const std::vector<std::string>& arguments)
{
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

}  // namespace oakvane
