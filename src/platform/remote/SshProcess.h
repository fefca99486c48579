#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tandrel::platform::remote {

// The system's ssh client as a child process: its input and output are the
// SFTP channel, what it writes to its error output (its reasons for failing:
// "Connection refused", "Permission denied (publickey)", "Host key
// verification failed.") is kept. The code is per system (posix/, windows/).
class SshProcess {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    // `arguments[0]` is the program, looked up in PATH. `environment` is
    // added to this process's own, replacing variables of the same name.
    // Null with `error` set when the program could not be started.
    static std::unique_ptr<SshProcess> Start(const std::vector<std::string>& arguments,
                                             const Environment& environment, std::string& error);
    ~SshProcess();
    SshProcess(const SshProcess&) = delete;
    SshProcess& operator=(const SshProcess&) = delete;

    // Writes all of `bytes`; false with the system's reason when the channel
    // is gone. Never raises a signal.
    bool Write(std::string_view bytes, std::string& error);
    // Blocks until something arrives: the count read, 0 at the end of the
    // output, -1 with the reason on failure.
    std::ptrdiff_t Read(char* buffer, std::size_t size, std::string& error);
    // Ends the process (if it still runs) and collects it; Read then returns
    // 0 or -1. Safe to call more than once and while another thread reads.
    void Stop();
    // Waits for the process to end by itself; its exit status text
    // ("ssh exited with status 255") for messages.
    std::string Wait();

    // The last lines ssh wrote to its error output, trimmed.
    std::string ErrorOutput() const;

    struct Handles;

private:
    explicit SshProcess(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
};

} // namespace tandrel::platform::remote
