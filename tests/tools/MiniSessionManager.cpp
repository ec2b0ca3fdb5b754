// A minimal X session manager for tests: it listens for XSMP clients, accepts
// their registration and, as desktop session managers do, sends each new client
// a first save request. Further requests come from stdin, one word a line:
//   save   a global save request that is not a shutdown (a checkpoint)
//   die    the end of the session
// It reports on stdout, one line each: "listening <SESSION_MANAGER value>",
// "registered", "save sent", "restart hint <n>", "save done", "die sent", "closed".
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

SmsConn client = nullptr;

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

Bool acceptAnyHost(char*)
{
    return True;
}

int fail(const char* what, const char* detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail);
    return 1;
}

void sendSave(SmsConn conn, int type)
{
    SmsSaveYourself(conn, type, False, SmInteractStyleNone, False);
    say("save sent");
}

Status onRegister(SmsConn conn, SmPointer, char* previousId)
{
    std::free(previousId);
    char* id = SmsGenerateClientID(conn);
    const Status ok = SmsRegisterClientReply(conn, id);
    std::free(id);
    client = conn;
    say("registered");
    // What GNOME, XFCE and MATE do right after a client registers.
    sendSave(conn, SmSaveLocal);
    return ok;
}

void onClose(SmsConn conn, SmPointer, int count, char** reasons)
{
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(conn);
    SmsCleanUp(conn);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    if (conn == client) {
        client = nullptr;
        say("closed");
    }
}

void onSetProperties(SmsConn, SmPointer, int count, SmProp** props)
{
    for (int i = 0; i < count; ++i) {
        const SmProp* p = props[i];
        if (std::strcmp(p->name, SmRestartStyleHint) == 0 && p->num_vals == 1 && p->vals[0].length >= 1) {
            const std::string line =
                "restart hint " + std::to_string(*static_cast<const unsigned char*>(p->vals[0].value));
            say(line.c_str());
        }
        SmFreeProperty(props[i]);
    }
    std::free(props);
}

void onDeleteProperties(SmsConn, SmPointer, int count, char** names)
{
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
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
    callbacks->close_connection.callback = onClose;
    callbacks->set_properties.callback = onSetProperties;
    callbacks->delete_properties.callback = onDeleteProperties;
    callbacks->get_properties.callback = [](SmsConn conn, SmPointer) {
        SmsReturnProperties(conn, 0, nullptr);
    };
    return 1;
}

} // namespace

int main()
{
    char error[256] = {};
    // The default handler ends the process when a client goes away.
    IceSetIOErrorHandler([](IceConn) {});
    if (!SmsInitialize("savenook-test", "1.0", onNewClient, nullptr, acceptAnyHost, sizeof error, error))
        return fail("SmsInitialize", error);
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error) || count == 0)
        return fail("IceListenForConnections", error);
    // Only the local socket: a test has no business opening a TCP port.
    std::vector<IceListenObj> local;
    for (int i = 0; i < count; ++i) {
        IceSetHostBasedAuthProc(listeners[i], acceptAnyHost);
        char* id = IceGetListenConnectionString(listeners[i]);
        if (std::strncmp(id, "local/", 6) == 0)
            local.push_back(listeners[i]);
        std::free(id);
    }
    if (local.empty())
        return fail("IceListenForConnections", "no local transport");
    char* ids = IceComposeNetworkIdList(static_cast<int>(local.size()), local.data());
    std::printf("listening %s\n", ids);
    std::fflush(stdout);
    std::free(ids);

    std::vector<IceConn> connections;
    std::string input;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({STDIN_FILENO, POLLIN, 0});
        for (IceListenObj l : local)
            fds.push_back({IceGetListenConnectionNumber(l), POLLIN, 0});
        for (IceConn c : connections)
            fds.push_back({IceConnectionNumber(c), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0; // the test has gone
            input.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
                const std::string word = input.substr(0, end);
                if (!client)
                    say("no client");
                else if (word == "save")
                    sendSave(client, SmSaveBoth);
                else if (word == "die") {
                    SmsDie(client);
                    say("die sent");
                }
            }
        }
        const size_t first = 1 + local.size();
        std::vector<IceConn> alive;
        for (size_t i = 0; i < connections.size(); ++i) {
            IceConn c = connections[i];
            if (!(fds[first + i].revents & (POLLIN | POLLHUP | POLLERR))) {
                alive.push_back(c);
                continue;
            }
            const IceProcessMessagesStatus status = IceProcessMessages(c, nullptr, nullptr);
            if (status == IceProcessMessagesSuccess) {
                if (IceConnectionStatus(c) != IceConnectRejected)
                    alive.push_back(c);
                continue;
            }
            if (status == IceProcessMessagesIOError) {
                // Broke off without saying goodbye (killed, crashed).
                if (client && SmsGetIceConnection(client) == c) {
                    SmsCleanUp(client);
                    client = nullptr;
                    say("closed");
                }
                IceSetShutdownNegotiation(c, False);
                IceCloseConnection(c);
            }
        }
        connections = alive;
        // Accepted last: the poll above knew nothing of them.
        for (size_t i = 0; i < local.size(); ++i) {
            if (!(fds[1 + i].revents & POLLIN))
                continue;
            IceAcceptStatus status;
            if (IceConn c = IceAcceptConnection(local[i], &status))
                connections.push_back(c);
        }
    }
}
