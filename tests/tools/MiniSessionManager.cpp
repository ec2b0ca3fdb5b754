// A minimal X session manager for tests: it listens for XSMP clients on the local transport, accepts
// their registration and, as desktop session managers do, sends each new client a first save request.
// Further requests come from stdin, one word a line: "save" (a checkpoint) or "die" (the end of the
// session). It reports on stdout, one line each: "listening <SESSION_MANAGER value>", "registered",
// "restart hint <n>", "save done".
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// A stand-in that lives for one test need not free what SMlib and ICElib hand it, nor tidy up.
namespace {

SmsConn client = nullptr;

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

const auto acceptAnyHost = [](char*) -> Bool { return True; };

Status onRegister(SmsConn conn, SmPointer, char*)
{
    const Status ok = SmsRegisterClientReply(conn, SmsGenerateClientID(conn));
    client = conn;
    say("registered");
    // What GNOME, XFCE and MATE do right after a client registers.
    SmsSaveYourself(conn, SmSaveLocal, False, SmInteractStyleNone, False);
    return ok;
}

void onSetProperties(SmsConn, SmPointer, int count, SmProp** props)
{
    for (int i = 0; i < count; ++i) {
        const SmProp* p = props[i];
        if (std::strcmp(p->name, SmRestartStyleHint) == 0 && p->num_vals == 1 && p->vals[0].length >= 1)
            say("restart hint " + std::to_string(*static_cast<const unsigned char*>(p->vals[0].value)));
    }
}

Status onNewClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**)
{
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
            SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
            SmsGetPropertiesProcMask;
    // SMlib requires every callback; a client's own save request needs no answer.
    callbacks->register_client.callback = onRegister;
    callbacks->interact_request.callback = [](SmsConn conn, SmPointer, int) { SmsInteract(conn); };
    callbacks->interact_done.callback = [](SmsConn, SmPointer, Bool) {};
    callbacks->save_yourself_request.callback = [](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {};
    callbacks->save_yourself_phase2_request.callback = [](SmsConn conn, SmPointer) {
        SmsSaveYourselfPhase2(conn);
    };
    callbacks->save_yourself_done.callback = [](SmsConn conn, SmPointer, Bool) {
        SmsSaveComplete(conn);
        say("save done");
    };
    callbacks->close_connection.callback = [](SmsConn conn, SmPointer, int, char**) {
        if (conn == client)
            client = nullptr;
        SmsCleanUp(conn);
    };
    callbacks->set_properties.callback = onSetProperties;
    callbacks->delete_properties.callback = [](SmsConn, SmPointer, int, char**) {};
    callbacks->get_properties.callback = [](SmsConn conn, SmPointer) {
        SmsReturnProperties(conn, 0, nullptr);
    };
    return 1;
}

} // namespace

int main()
{
    char error[256] = "no local transport";
    // The default handler ends the process when a client goes away.
    IceSetIOErrorHandler([](IceConn) {});
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!SmsInitialize("savenook-test", "1.0", onNewClient, nullptr, acceptAnyHost, sizeof error, error) ||
        !IceListenForConnections(&count, &listeners, sizeof error, error))
        count = 0;
    // Only the local socket: a test has no business opening a TCP port.
    std::vector<IceListenObj> local;
    for (int i = 0; i < count; ++i) {
        IceSetHostBasedAuthProc(listeners[i], acceptAnyHost);
        if (std::strncmp(IceGetListenConnectionString(listeners[i]), "local/", 6) == 0)
            local.push_back(listeners[i]);
    }
    if (local.empty()) {
        std::fprintf(stderr, "cannot listen: %s\n", error);
        return 1;
    }
    say(std::string("listening ") + IceComposeNetworkIdList(static_cast<int>(local.size()), local.data()));

    IceConn connection = nullptr; // one client at a time
    std::string input;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (IceListenObj l : local)
            fds.push_back({IceGetListenConnectionNumber(l), POLLIN, 0});
        if (connection)
            fds.push_back({IceConnectionNumber(connection), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0; // the test has gone
            input.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
                if (client && input.compare(0, end, "save") == 0)
                    SmsSaveYourself(client, SmSaveBoth, False, SmInteractStyleNone, False);
                else if (client && input.compare(0, end, "die") == 0)
                    SmsDie(client);
            }
        }
        // Gone (killed, crashed, ended) or refused.
        if (connection && (fds.back().revents & (POLLIN | POLLHUP | POLLERR)) &&
            (IceProcessMessages(connection, nullptr, nullptr) != IceProcessMessagesSuccess ||
             IceConnectionStatus(connection) == IceConnectRejected)) {
            client = nullptr;
            connection = nullptr;
        }
        // Accepted last: the poll above knew nothing of it.
        for (size_t i = 0; i < local.size(); ++i) {
            IceAcceptStatus status;
            if (fds[1 + i].revents & POLLIN)
                if (IceConn c = IceAcceptConnection(local[i], &status))
                    connection = c;
        }
    }
}
