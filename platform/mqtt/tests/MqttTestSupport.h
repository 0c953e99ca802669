#pragma once
// What the MQTT tests and the benchmark share: Debian's mosquitto broker run on a loopback port
// of its own (never the system service), a subscriber that records what arrives, and a TCP relay
// that stands between the publisher and the broker, so a test can take the link away and give it
// back while the broker and the subscriber stay up.

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orva::mqtt::test {

inline int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// A listening loopback socket on an ephemeral port; the port through *port.
inline int listenLoopback(int* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

inline int freeLoopbackPort()
{
    int port = 0;
    const int fd = listenLoopback(&port);
    if (fd >= 0) ::close(fd);
    return port;
}

template <class P>
bool eventually(P pred, std::chrono::milliseconds deadline = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

inline std::string mosquittoPath()
{
    for (const char* path : {"/usr/sbin/mosquitto", "/usr/local/sbin/mosquitto", "/usr/bin/mosquitto"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

// mosquitto on 127.0.0.1 with the given extra configuration lines; stopped (by its pid) at the end.
class Broker {
public:
    explicit Broker(const std::string& extraConfig = {})
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("orva-mqtt-broker-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(dir_);
        port_ = freeLoopbackPort();
        std::ofstream(dir_ / "mosquitto.conf") << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                                               << "persistence false\n"
                                               << extraConfig;
        const std::string program = mosquittoPath();
        if (program.empty()) return;
        const std::string conf = (dir_ / "mosquitto.conf").string();
        std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("-c"),
                                const_cast<char*>(conf.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pid_ > 0)
            ready_ = eventually([&] {
                const int fd = connectLoopback(port_);
                if (fd >= 0) ::close(fd);
                return fd >= 0;
            });
    }
    ~Broker()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    const std::filesystem::path& dir() const { return dir_; }

private:
    static std::atomic<int>& counter()
    {
        static std::atomic<int> n{0};
        return n;
    }
    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Records every message of the topics it subscribes to.
class Subscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain = false;
    };

    Subscriber(int port, std::vector<std::string> topics) : topics_(std::move(topics))
    {
        mosquitto_lib_init();
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int rc) {
            auto* s = static_cast<Subscriber*>(self);
            if (rc != 0) return;
            for (const auto& t : s->topics_)
                mosquitto_subscribe(m, nullptr, t.c_str(), 1);
            s->connected_ = true;
        });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            ++static_cast<Subscriber*>(self)->subscribed_;
        });
        mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* s = static_cast<Subscriber*>(self);
            const std::lock_guard lock(s->lock_);
            s->messages_.push_back(
                {m->topic,
                 std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
                 m->retain});
            if (s->onMessage_) s->onMessage_(s->messages_.back());
        });
        mosquitto_connect(client_, "127.0.0.1", port, 30);
        mosquitto_loop_start(client_);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Connected and every subscription acknowledged.
    bool ready() const { return connected_ && subscribed_ >= static_cast<int>(topics_.size()); }
    std::vector<Message> messages() const
    {
        const std::lock_guard lock(lock_);
        return messages_;
    }
    std::vector<Message> messagesOn(const std::string& topic) const
    {
        std::vector<Message> found;
        for (auto& m : messages())
            if (m.topic == topic) found.push_back(m);
        return found;
    }
    // Called for each message on the client's thread, instead of keeping it.
    void setOnMessage(std::function<void(const Message&)> onMessage)
    {
        const std::lock_guard lock(lock_);
        onMessage_ = std::move(onMessage);
    }
    void publish(const std::string& topic, const std::string& payload)
    {
        mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                          1, false);
    }

private:
    std::vector<std::string> topics_;
    mosquitto* client_ = nullptr;
    std::atomic<bool> connected_{false};
    std::atomic<int> subscribed_{0};
    mutable std::mutex lock_;
    std::vector<Message> messages_;
    std::function<void(const Message&)> onMessage_;
};

// Forwards loopback connections to the broker while open; closed, it cuts the connections it
// carries and resets new ones at once, as an unreachable broker would.
class Relay {
public:
    explicit Relay(int brokerPort) : brokerPort_(brokerPort)
    {
        listener_ = listenLoopback(&port_);
        thread_ = std::thread([this] { run(); });
    }
    ~Relay()
    {
        stop_ = true;
        thread_.join();
        for (auto& [a, b] : pairs_) {
            ::close(a);
            ::close(b);
        }
        ::close(listener_);
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    int port() const { return port_; }
    void setOpen(bool open) { open_ = open; }

private:
    void run()
    {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (auto& [a, b] : pairs_) {
                fds.push_back({a, POLLIN, 0});
                fds.push_back({b, POLLIN, 0});
            }
            ::poll(fds.data(), fds.size(), 20);
            if (!open_) {
                for (auto& [a, b] : pairs_) {
                    ::close(a);
                    ::close(b);
                }
                pairs_.clear();
            }
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                const int broker = open_ && client >= 0 ? connectLoopback(brokerPort_) : -1;
                if (broker >= 0) {
                    pairs_.emplace_back(client, broker);
                } else if (client >= 0) {
                    ::close(client);
                }
                continue;
            }
            for (std::size_t i = 0; i < pairs_.size(); ++i) {
                if (!pump(fds[1 + 2 * i], pairs_[i].second) || !pump(fds[2 + 2 * i], pairs_[i].first)) {
                    ::close(pairs_[i].first);
                    ::close(pairs_[i].second);
                    pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                }
            }
        }
    }
    static bool pump(const pollfd& from, int to)
    {
        if ((from.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return true;
        char buffer[16384];
        const ssize_t n = ::read(from.fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        for (ssize_t sent = 0; sent < n;) {
            const ssize_t w = ::write(to, buffer + sent, static_cast<std::size_t>(n - sent));
            if (w <= 0) return false;
            sent += w;
        }
        return true;
    }

    int brokerPort_;
    int port_ = 0;
    int listener_ = -1;
    std::atomic<bool> open_{false};
    std::atomic<bool> stop_{false};
    std::vector<std::pair<int, int>> pairs_;
    std::thread thread_;
};

}  // namespace orva::mqtt::test
