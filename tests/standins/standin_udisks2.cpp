// A stand-in for the desktop's disk service, for testing the eject client on a private bus.
// It knows one block device, optionally on one drive, and writes every method call it receives
// to a log, one line each: "<object path> <interface>.<member>", and for a property read
// " <interface>.<property>" after it. It prints "ready" once its name is on the bus.
//
// standin-udisks2 --log FILE --device /dev/NAME [--address BUS] [--mount-point PATH]
//     [--loop] [--not-ejectable] [--no-power-off] [--busy N] [--unmount-error NAME]
//     [--eject-error NAME] [--really-unmount] [--partition-of /dev/LOOP]
//
// With --partition-of, the device is a partition of a card image's loop device: the loop
// device is a second block object, and only it has the loop interface.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <csignal>
#include <sys/mount.h>
#include <sys/prctl.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kPrefix = QStringLiteral("org.freedesktop.UDisks2.");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

struct Options {
    QString address, log, device, mount_point, unmount_error, eject_error, partition_of;
    bool loop = false, ejectable = true, can_power_off = true, really_unmount = false;
    int busy = 0;
};

class CallLog {
public:
    explicit CallLog(const QString& path) : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            qFatal("standin-udisks2: can't open log %s", qPrintable(path));
    }
    void add(const QDBusMessage& call)
    {
        QString line = call.path() + ' ' + call.interface() + '.' + call.member();
        if (call.interface() == kProperties && call.arguments().size() == 2)
            line += ' ' + call.arguments()[0].toString() + '.' + call.arguments()[1].toString();
        m_file.write((line + '\n').toUtf8());
        m_file.flush();
    }

private:
    QFile m_file;
};

// One exported object: every call is logged and answered by its handler.
class Node : public QDBusVirtualObject {
public:
    using Handler = std::function<QDBusMessage(const QDBusMessage&)>;
    Node(CallLog& log, Handler handler) : m_log(log), m_handler(std::move(handler)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        m_log.add(call);
        bus.send(m_handler(call));
        return true;
    }

private:
    CallLog& m_log;
    Handler m_handler;
};

QDBusMessage unknown(const QDBusMessage& call)
{
    return call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                 call.interface() + '.' + call.member());
}

QDBusMessage value_reply(const QDBusMessage& call, const QVariant& value)
{
    return call.createReply(QVariant::fromValue(QDBusVariant(value)));
}

class Standin {
public:
    Standin(const Options& options)
        : m_options(options), m_log(options.log),
          m_block("/org/freedesktop/UDisks2/block_devices/" + QFileInfo(options.device).fileName()),
          m_loop_block(options.partition_of.isEmpty()
                           ? QString()
                           : "/org/freedesktop/UDisks2/block_devices/" +
                                 QFileInfo(options.partition_of).fileName()),
          m_drive(options.loop ? "/" : "/org/freedesktop/UDisks2/drives/Standin_Card_Reader")
    {
    }

    bool publish(QDBusConnection& bus)
    {
        add(bus, "/org/freedesktop/UDisks2/Manager", [this](auto& c) { return manager(c); });
        add(bus, m_block, [this](auto& c) { return block(c); });
        if (!m_loop_block.isEmpty())
            add(bus, m_loop_block, [this](auto& c) { return loop_block(c); });
        if (!m_options.loop)
            add(bus, m_drive, [this](auto& c) { return drive(c); });
        return bus.registerService(kService);
    }

private:
    void add(QDBusConnection& bus, const QString& path, Node::Handler handler)
    {
        m_nodes.push_back(std::make_unique<Node>(m_log, std::move(handler)));
        if (!bus.registerVirtualObject(path, m_nodes.back().get()))
            qFatal("standin-udisks2: can't export %s", qPrintable(path));
    }

    QDBusMessage manager(const QDBusMessage& call)
    {
        if (call.interface() != kPrefix + "Manager" || call.member() != "ResolveDevice")
            return unknown(call);
        const QVariantMap wanted = qdbus_cast<QVariantMap>(call.arguments().value(0));
        QList<QDBusObjectPath> found;
        if (wanted.value("path").toString() == m_options.device)
            found << QDBusObjectPath(m_block);
        else if (!m_loop_block.isEmpty() && wanted.value("path").toString() == m_options.partition_of)
            found << QDBusObjectPath(m_loop_block);
        return call.createReply(QVariant::fromValue(found));
    }

    QDBusMessage block(const QDBusMessage& call)
    {
        const QString member = call.interface() + '.' + call.member();
        if (member == kPrefix + "Filesystem.Unmount")
            return unmount(call);
        if (member == kPrefix + "Loop.Delete" && m_options.loop && m_loop_block.isEmpty())
            return call.createReply();
        if (call.interface() == kProperties && call.member() == "Get")
            return block_property(call);
        return unknown(call);
    }

    QDBusMessage block_property(const QDBusMessage& call)
    {
        const QString name = call.arguments().value(0).toString() + '.' +
                             call.arguments().value(1).toString();
        if (name == kPrefix + "Block.Device")
            return value_reply(call, m_options.device.toUtf8() + '\0');
        if (name == kPrefix + "Block.Drive")
            return value_reply(call, QVariant::fromValue(QDBusObjectPath(m_drive)));
        if (name == kPrefix + "Filesystem.MountPoints") {
            QList<QByteArray> points{m_options.mount_point.toUtf8() + '\0'};
            return value_reply(call, QVariant::fromValue(points));
        }
        return unknown_property(call);
    }

    // The whole loop device of a partitioned card image: it only detaches.
    QDBusMessage loop_block(const QDBusMessage& call)
    {
        if (call.interface() + '.' + call.member() == kPrefix + "Loop.Delete")
            return call.createReply();
        return unknown(call);
    }

    QDBusMessage drive(const QDBusMessage& call)
    {
        const QString member = call.interface() + '.' + call.member();
        if (member == kPrefix + "Drive.Eject")
            return answer(call, m_options.eject_error);
        if (member == kPrefix + "Drive.PowerOff")
            return call.createReply();
        if (call.interface() != kProperties || call.member() != "Get")
            return unknown(call);
        const QString name = call.arguments().value(0).toString() + '.' +
                             call.arguments().value(1).toString();
        if (name == kPrefix + "Drive.Ejectable")
            return value_reply(call, m_options.ejectable);
        if (name == kPrefix + "Drive.CanPowerOff")
            return value_reply(call, m_options.can_power_off);
        return unknown_property(call);
    }

    QDBusMessage unmount(const QDBusMessage& call)
    {
        if (m_options.busy > 0) {
            --m_options.busy;
            return answer(call, kPrefix + "Error.DeviceBusy");
        }
        if (m_options.really_unmount &&
            umount2(m_options.mount_point.toLocal8Bit().constData(), 0) != 0)
            return call.createErrorReply(kPrefix + (errno == EBUSY ? "Error.DeviceBusy"
                                                                   : "Error.Failed"),
                                         QString::fromLocal8Bit(std::strerror(errno)));
        return answer(call, m_options.unmount_error);
    }

    static QDBusMessage answer(const QDBusMessage& call, const QString& error)
    {
        return error.isEmpty() ? call.createReply()
                               : call.createErrorReply(error, QStringLiteral("stand-in error"));
    }

    static QDBusMessage unknown_property(const QDBusMessage& call)
    {
        return call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                                     call.arguments().value(1).toString());
    }

    Options m_options;
    CallLog m_log;
    QString m_block, m_loop_block, m_drive;
    std::vector<std::unique_ptr<Node>> m_nodes;
};

Options parse(const QCoreApplication& app)
{
    QCommandLineParser parser;
    const QCommandLineOption address("address", "bus address", "address"),
        log("log", "call log", "file"), device("device", "device node", "node"),
        mount_point("mount-point", "mount point", "path"), loop("loop", "a loop device"),
        not_ejectable("not-ejectable", "drive cannot eject"),
        no_power_off("no-power-off", "drive cannot power off"),
        busy("busy", "answer Unmount busy N times", "N", "0"),
        unmount_error("unmount-error", "Unmount fails so", "name"),
        eject_error("eject-error", "Eject fails so", "name"),
        really("really-unmount", "unmount the mount point"),
        partition_of("partition-of", "the device is a partition of this loop device", "node");
    parser.addOptions({address, log, device, mount_point, loop, not_ejectable, no_power_off, busy,
                       unmount_error, eject_error, really, partition_of});
    parser.process(app);
    if (!parser.isSet(log) || !parser.isSet(device))
        qFatal("standin-udisks2: --log and --device are required");
    Options o;
    o.address = parser.isSet(address) ? parser.value(address)
                                      : qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    o.log = parser.value(log);
    o.device = parser.value(device);
    o.mount_point = parser.value(mount_point);
    o.unmount_error = parser.value(unmount_error);
    o.eject_error = parser.value(eject_error);
    o.loop = parser.isSet(loop);
    o.ejectable = !parser.isSet(not_ejectable);
    o.can_power_off = !parser.isSet(no_power_off);
    o.really_unmount = parser.isSet(really);
    o.partition_of = parser.value(partition_of);
    o.busy = parser.value(busy).toInt();
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    // A test that dies must not leave its stand-in behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QList<QByteArray>>();
    const Options options = parse(app);
    QDBusConnection bus = QDBusConnection::connectToBus(options.address, "standin");
    if (!bus.isConnected())
        qFatal("standin-udisks2: can't connect to %s", qPrintable(options.address));
    Standin standin(options);
    if (!standin.publish(bus))
        qFatal("standin-udisks2: can't own %s", qPrintable(kService));
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
