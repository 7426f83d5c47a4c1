#include "snmp/snmp_agent.h"

#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// net-snmp's headers last: they define macros of their own.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>

// The subagent's session with the master agent; net-snmp sets it while connected and clears it when the
// master goes away. Its header is not installed, the symbol is.
extern "C" netsnmp_session* main_session;
extern "C" int subagent_open_master_session(void);

namespace qv::snmp {

using namespace Qt::StringLiterals;

namespace {

constexpr char kAppName[] = "qv7700-remote";

std::vector<oid> netOid(const Oid& o) { return {o.begin(), o.end()}; }

bool startsWith(const Oid& oid, const Oid& prefix)
{
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

u_char asnType(Value::Type t)
{
    switch (t) {
    case Value::Type::Integer: return ASN_INTEGER;
    case Value::Type::String: return ASN_OCTET_STR;
    case Value::Type::Counter32: return ASN_COUNTER;
    case Value::Type::Gauge32:
    case Value::Type::AgeMs: return ASN_GAUGE;
    }
    return ASN_NULL;
}

void setValue(netsnmp_variable_list* vb, const Value& v)
{
    if (v.type == Value::Type::String)
        snmp_set_var_typed_value(vb, ASN_OCTET_STR, v.bytes.constData(), size_t(v.bytes.size()));
    else
        snmp_set_var_typed_integer(vb, asnType(v.type), long(v.number));
}

int handleRequests(netsnmp_mib_handler* handler, netsnmp_handler_registration*, netsnmp_agent_request_info* info,
                   netsnmp_request_info* requests)
{
    const auto* agent = static_cast<const Agent*>(handler->myvoid);
    const std::shared_ptr<const Tree> current = agent->currentTree();
    const Tree& tree = *current;
    const qint64 now = monotonicNowMs();
    for (netsnmp_request_info* r = requests; r; r = r->next) {
        if (r->processed)
            continue;
        netsnmp_variable_list* vb = r->requestvb;
        const Oid asked(vb->name, vb->name + vb->name_length);
        const Entry* e = nullptr;
        if (info->mode == MODE_GET) {
            e = findExact(tree, asked);
            if (!e) {
                netsnmp_set_request_error(info, r, SNMP_NOSUCHINSTANCE);
                continue;
            }
        } else if (info->mode == MODE_GETNEXT) {
            e = findNext(tree, asked);
            if (!e || !startsWith(e->oid, agent->base()))
                continue;  // past the subtree: the master agent carries on with the next one
            const std::vector<oid> name = netOid(e->oid);
            snmp_set_var_objid(vb, name.data(), name.size());
        } else {
            netsnmp_set_request_error(info, r, SNMP_ERR_NOTWRITABLE);
            continue;
        }
        setValue(vb, answered(e->value, now));
    }
    return SNMP_ERR_NOERROR;
}

void sendNotification(const Notification& n)
{
    static const oid snmpTrapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    netsnmp_variable_list* vars = nullptr;
    const std::vector<oid> trap = netOid(n.trap);
    snmp_varlist_add_variable(&vars, snmpTrapOid, OID_LENGTH(snmpTrapOid), ASN_OBJECT_ID,
                              reinterpret_cast<const u_char*>(trap.data()), trap.size() * sizeof(oid));
    for (const Entry& e : n.objects) {
        const std::vector<oid> name = netOid(e.oid);
        if (e.value.type == Value::Type::String) {
            snmp_varlist_add_variable(&vars, name.data(), name.size(), ASN_OCTET_STR,
                                      reinterpret_cast<const u_char*>(e.value.bytes.constData()), size_t(e.value.bytes.size()));
        } else {
            const long number = long(e.value.number);
            snmp_varlist_add_variable(&vars, name.data(), name.size(), asnType(e.value.type),
                                      reinterpret_cast<const u_char*>(&number), sizeof number);
        }
    }
    send_v2trap(vars);
    snmp_free_varbind(vars);
}

void drainWake(int fd, void*)
{
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

void reconnect(unsigned int, void*)
{
    if (main_session == nullptr && subagent_open_master_session() == 0)
        register_mib_reattach();  // the subtree, registered with the master agent again
}

bool isPath(const QString& socket)
{
    // net-snmp's other transports are written "tcp:HOST:PORT", "udp:..."; a unix socket may be "unix:PATH".
    return socket.startsWith(u'/') || socket.startsWith(u"unix:"_s);
}

QString pathOf(const QString& socket) { return socket.startsWith(u"unix:"_s) ? socket.mid(5) : socket; }

}  // namespace

QString socketProblem(const QString& socket)
{
    if (!isPath(socket))
        return {};
    struct stat st {};
    const QByteArray path = QFile::encodeName(pathOf(socket));
    if (stat(path.constData(), &st) != 0)
        return {};
    return S_ISSOCK(st.st_mode) ? QString() : u"%1 is not a socket"_s.arg(pathOf(socket));
}

Agent& Agent::instance()
{
    static Agent agent;
    return agent;
}

Agent::~Agent() { stop(); }

bool Agent::start(const QString& socket, const Oid& base, QString* error)
{
    if (running()) {
        if (socket == socket_ && base == base_)
            return true;
        if (error)
            *error = u"SNMP already runs through %1; restart the program to use %2"_s.arg(socket_, socket);
        return false;
    }
    if (const QString problem = socketProblem(socket); !problem.isEmpty()) {
        if (error)
            *error = u"SNMP: the AgentX socket %1"_s.arg(problem);
        return false;
    }
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = u"SNMP: cannot make the agent's wake-up pipe"_s;
        return false;
    }
    // A master agent that closes its socket while a reply is written must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (!say)
        say = [](const QString& line) { std::fprintf(stderr, "qv7700-remote: %s\n", qPrintable(line)); };
    socket_ = socket;
    base_ = base;
    model_.version = QStringLiteral(QV_VERSION);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void Agent::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    wake();
    thread_.join();
    close(wakePipe_[0]);
    close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
}

void Agent::setInstrument(size_t index, InstrumentRow row)
{
    std::lock_guard lock(mutex_);
    if (model_.instruments.size() <= index)
        model_.instruments.resize(index + 1);
    model_.instruments[index] = std::move(row);
    ++modelVersion_;
}

std::shared_ptr<const Tree> Agent::currentTree() const
{
    std::lock_guard lock(mutex_);
    if (treeVersion_ != modelVersion_ || !tree_) {
        tree_ = std::make_shared<const Tree>(buildTree(model_, base_));
        treeVersion_ = modelVersion_;
    }
    return tree_;
}

void Agent::send(Notification notification)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(notification));
        while (queue_.size() > kNotificationsKept)
            queue_.pop_front();
    }
    wake();
}

void Agent::wake()
{
    if (wakePipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(wakePipe_[1], &byte, 1);  // a full pipe is awake already
    }
}

void Agent::run()
{
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET, socket_.toLocal8Bit().constData());
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, kRetrySeconds);
    netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_NO_CONNECTION_WARNINGS, 1);
    // The program's own settings come from its command line, never from net-snmp's configuration or state files.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    // It needs no MIB files to answer by number; its lines for people are its own (net-snmp's would go to
    // standard error unless a handler takes them), save with QV7700_SNMP_DEBUG set.
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIBDIRS, "/nonexistent");
    if (qEnvironmentVariableIsSet("QV7700_SNMP_DEBUG")) {
        snmp_enable_stderrlog();
    } else {
        snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, [](int, int, void*, void*) { return 0; },
                               nullptr);
        snmp_enable_calllog();
    }
    init_agent(kAppName);
    const std::vector<oid> base = netOid(base_);
    netsnmp_handler_registration* reg =
        netsnmp_create_handler_registration(kAppName, handleRequests, base.data(), base.size(), HANDLER_CAN_RONLY);
    reg->handler->myvoid = this;
    netsnmp_register_handler(reg);
    init_snmp(kAppName);
    // net-snmp tries again by itself only after a master agent it had went away, not when there was none at
    // the start; the beat below does both, so net-snmp's own attempts are turned off (a second session
    // would be opened beside the first). Reading the empty configuration has put its default back.
    netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL, 0);
    startedMs_ = monotonicNowMs();
    register_readfd(wakePipe_[0], drainWake, nullptr);
    // A beat of its own: the connection is looked at, and made again, even while nothing else happens.
    snmp_alarm_register(kRetrySeconds, SA_REPEAT, reconnect, nullptr);
    afterEvents();
    while (!stopping_) {
        agent_check_and_process(1);
        afterEvents();
    }
    unregister_readfd(wakePipe_[0]);
    snmp_shutdown(kAppName);
}

void Agent::afterEvents()
{
    const bool now = main_session != nullptr;
    connected_ = now;
    // The first connection may take a moment: "does not answer" only once it had a fair chance.
    const bool early = announced_ < 0 && !now && monotonicNowMs() - startedMs_ < kRetrySeconds * 1000;
    if (announced_ != int(now) && !early) {
        const QString where = u"the AgentX master agent at %1"_s.arg(socket_);
        if (now) {
            say(u"SNMP: serving %1 through %2"_s.arg(oidText(base_), where));
        } else {
            QString problem = socketProblem(socket_);
            if (problem.isEmpty() && isPath(socket_) && !QFileInfo::exists(pathOf(socket_)))
                problem = u"no such socket"_s;
            say(u"SNMP: %1 %2%3; carrying on without it and trying again every %4 s"_s.arg(
                where, announced_ < 0 ? u"does not answer"_s : u"went away"_s,
                problem.isEmpty() ? QString() : u" (%1)"_s.arg(problem), QString::number(kRetrySeconds)));
        }
        announced_ = int(now);
    }
    if (!now)
        return;
    std::deque<Notification> due;
    {
        std::lock_guard lock(mutex_);
        due.swap(queue_);
    }
    for (const Notification& n : due)
        sendNotification(n);
}

}  // namespace qv::snmp
