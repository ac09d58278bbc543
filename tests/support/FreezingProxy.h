#pragma once

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace tessera::test {

// A TCP proxy on 127.0.0.1 in front of a server. Once frozen it forwards
// nothing more, either way, and keeps every connection open: what a client
// sees of a peer that vanished without closing its connections (a cable
// pulled, a firewall dropping packets). Destroying it closes everything.
class FreezingProxy {
public:
    explicit FreezingProxy(quint16 serverPort)
        : m_serverPort(serverPort)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || listen(m_listener, 16) != 0)
            throw std::runtime_error("the proxy cannot listen");
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { forward(); });
    }
    ~FreezingProxy()
    {
        m_ending = true;
        m_thread.join();
        for (const auto& [client, server] : m_pairs) {
            close(client);
            close(server);
        }
        close(m_listener);
    }
    FreezingProxy(const FreezingProxy&) = delete;
    FreezingProxy& operator=(const FreezingProxy&) = delete;

    quint16 port() const { return m_port; }
    void freeze() { m_frozen = true; }

private:
    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void accept()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(m_serverPort);
        if (client < 0 || server < 0 || connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(client);
            close(server);
            return;
        }
        m_pairs.emplace_back(client, server);
    }

    // Moves what one side sent to the other; false when that side closed.
    static bool pass(int from, int to)
    {
        char buffer[65536];
        const ssize_t n = read(from, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        for (ssize_t sent = 0; sent < n;) {
            const ssize_t m = write(to, buffer + sent, size_t(n - sent));
            if (m <= 0)
                return false;
            sent += m;
        }
        return true;
    }

    void forward()
    {
        while (!m_ending) {
            std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
            if (!m_frozen)
                for (const auto& [client, server] : m_pairs) {
                    watched.push_back({client, POLLIN, 0});
                    watched.push_back({server, POLLIN, 0});
                }
            if (poll(watched.data(), watched.size(), 20) <= 0)
                continue;
            std::vector<bool> closed(m_pairs.size(), false);
            for (size_t i = 1; i < watched.size() && !m_frozen; ++i) {
                const size_t pair = (i - 1) / 2;
                if (closed[pair] || !(watched[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const auto& [client, server] = m_pairs[pair];
                const bool fromClient = (i - 1) % 2 == 0;
                closed[pair] = !pass(fromClient ? client : server, fromClient ? server : client);
            }
            for (size_t pair = closed.size(); pair-- > 0;)
                if (closed[pair]) {
                    close(m_pairs[pair].first);
                    close(m_pairs[pair].second);
                    m_pairs.erase(m_pairs.begin() + qsizetype(pair));
                }
            if (watched[0].revents & POLLIN)
                accept();
        }
    }

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listener = -1;
    std::vector<std::pair<int, int>> m_pairs;
    std::atomic<bool> m_frozen{false};
    std::atomic<bool> m_ending{false};
    std::thread m_thread;
};

} // namespace tessera::test
