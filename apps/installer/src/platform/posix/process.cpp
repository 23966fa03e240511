#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <thread>

#include "platform/environment.h"
#include "platform/os_error.h"

extern char** environ;

namespace zarn::platform {
namespace {

bool is_executable_file(const std::filesystem::path& candidate) {
    struct stat info {};
    return ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0;
}

std::uint32_t exit_code_of(int status) {
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
}

Result<std::uint32_t> wait_for(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return unexpected(last_os_error());
    }
    return exit_code_of(status);
}

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
};

Result<pid_t> spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    std::string argv0 = program.filename().string();
    argv.push_back(argv0.data());
    std::vector<std::string> copies(arguments);
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int code = ::posix_spawn(&child, program.c_str(), actions, nullptr, argv.data(), environ);
    if (code != 0) return unexpected(os_error(code));
    return child;
}

}  // namespace

Result<std::filesystem::path> find_program(std::string_view bare_name) {
    const auto search_path = environment_variable("PATH");
    if (search_path) {
        std::string_view rest = *search_path;
        while (true) {
            const auto colon = rest.find(':');
            const std::filesystem::path folder(std::string(rest.substr(0, colon)));
            // A relative entry (".", "bin") would search below the current folder.
            if (folder.is_absolute()) {
                auto candidate = folder / std::string(bare_name);
                if (is_executable_file(candidate)) return candidate;
            }
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    return unexpected(Error{"program not found"});
}

Result<std::uint32_t> run_program(std::string_view bare_name, const std::vector<std::string>& arguments) {
    const auto program = find_program(bare_name);
    if (!program) return unexpected(program.error());
    const auto child = spawn(*program, arguments, nullptr);
    if (!child) return unexpected(child.error());
    return wait_for(*child);
}

Result<CapturedRun> run_program_capturing_output(std::string_view bare_name,
                                                 const std::vector<std::string>& arguments) {
    const auto program = find_program(bare_name);
    if (!program) return unexpected(program.error());
    std::array<int, 2> pipe_ends{};
    if (::pipe2(pipe_ends.data(), O_CLOEXEC) != 0) return unexpected(last_os_error());
    SpawnActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), pipe_ends[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto child = spawn(*program, arguments, actions.get());
    ::close(pipe_ends[1]);
    if (!child) {
        ::close(pipe_ends[0]);
        return unexpected(child.error());
    }
    CapturedRun run;
    std::array<char, 4096> buffer{};
    while (true) {
        const auto count = ::read(pipe_ends[0], buffer.data(), buffer.size());
        if (count > 0) {
            run.standard_output.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipe_ends[0]);
    const auto code = wait_for(*child);
    if (!code) return unexpected(code.error());
    run.exit_code = *code;
    return run;
}

Result<void> start_detached(const std::filesystem::path& program) {
    const auto child = spawn(program, {}, nullptr);
    if (!child) return unexpected(child.error());
    // Reap it from a grandchild-free waiter so that no zombie is left while the program runs on.
    std::thread([pid = *child] { int status = 0; ::waitpid(pid, &status, 0); }).detach();
    return {};
}

Result<std::filesystem::path> current_program_path() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return unexpected(os_error(error.value()));
    return path;
}

}  // namespace zarn::platform
