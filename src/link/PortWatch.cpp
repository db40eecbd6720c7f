#include "PortWatch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "Errors.h"

namespace quorvel {

namespace {

constexpr std::uint32_t kDirMask =
    IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kParentMask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::size_t kReadBuffer = 64 * 1024;  // many events per read(), each up to NAME_MAX long

[[noreturn]] void Fail(const std::string& what) {
  throw Exception("Port watch: " + what + ": " + std::strerror(errno));
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The folder above path and path's name in it; "." for a relative name without a folder.
std::pair<std::string, std::string> SplitParent(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

bool IsHotplugSerialName(const std::string& name) {
  for (const char* stem : {"ttyUSB", "ttyACM"}) {
    const std::size_t n = std::strlen(stem);
    if (name.size() > n && name.compare(0, n, stem) == 0 &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(n), name.end(),
                    [](char c) { return c >= '0' && c <= '9'; }))
      return true;
  }
  return false;
}

TPortWatch::TPortWatch(std::string dir, std::function<bool(const std::string&)> filter)
    : dir_(WithoutTrailingSlashes(std::move(dir))), filter_(std::move(filter)) {
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) Fail("inotify_init1");
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    ::close(inotify_);
    Fail("eventfd");
  }
  try {
    Arm(pending_);
  } catch (...) {
    ::close(inotify_);
    ::close(wake_);
    throw;
  }
  // what was there at the start is present, not news
  pending_.clear();
}

TPortWatch::~TPortWatch() {
  ::close(inotify_);
  ::close(wake_);
}

std::string TPortWatch::PathOf(const std::string& name) const {
  return dir_ == "/" ? "/" + name : dir_ + "/" + name;
}

bool TPortWatch::Counts(const std::string& name) const { return !filter_ || filter_(name); }

std::vector<std::string> TPortWatch::Present() const {
  std::vector<std::string> paths;
  paths.reserve(present_.size());
  for (const auto& name : present_) paths.push_back(PathOf(name));
  return paths;
}

// Watches the folder, or else the deepest folder on its way that exists; a folder that is
// found lists its entries as having appeared.
void TPortWatch::Arm(std::vector<TPortEvent>& out) {
  while (true) {
    if (wd_ >= 0) inotify_rm_watch(inotify_, wd_);
    wd_ = -1;
    watchingDir_ = false;
    const int wd = inotify_add_watch(inotify_, dir_.c_str(), kDirMask);
    if (wd >= 0) {
      wd_ = wd;
      watchingDir_ = true;
      // listed after the watch is set, so nothing made in between is missed
      Relist(out);
      return;
    }
    if (errno != ENOENT && errno != ENOTDIR) Fail("cannot watch " + dir_);
    FolderGone(out);
    const std::string next = WatchNearestParent();
    // a folder made on the way after the try above and before the parent's watch sends no
    // event: look again from the top
    struct stat st {};
    if (::stat(next.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  }
}

std::string TPortWatch::WatchNearestParent() {
  std::string child = dir_;
  while (true) {
    auto [parent, name] = SplitParent(child);
    const int wd = inotify_add_watch(inotify_, parent.c_str(), kParentMask);
    if (wd >= 0) {
      wd_ = wd;
      towardDir_ = name;
      return child;
    }
    if ((errno != ENOENT && errno != ENOTDIR) || parent == "/" || parent == ".")
      Fail("cannot watch " + parent);
    child = parent;
  }
}

void TPortWatch::Relist(std::vector<TPortEvent>& out) {
  std::set<std::string> now;
  if (DIR* d = ::opendir(dir_.c_str())) {
    while (const dirent* entry = ::readdir(d)) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && Counts(name)) now.insert(name);
    }
    ::closedir(d);
  }
  for (const auto& name : present_)
    if (now.count(name) == 0) out.push_back({TPortEvent::TKind::Vanished, PathOf(name)});
  for (const auto& name : now)
    if (present_.count(name) == 0) out.push_back({TPortEvent::TKind::Appeared, PathOf(name)});
  present_ = std::move(now);
}

void TPortWatch::FolderGone(std::vector<TPortEvent>& out) {
  for (const auto& name : present_) out.push_back({TPortEvent::TKind::Vanished, PathOf(name)});
  present_.clear();
}

void TPortWatch::Handle(int wd, std::uint32_t mask, const std::string& name, std::vector<TPortEvent>& out) {
  if ((mask & IN_Q_OVERFLOW) != 0) {
    // the queue lost events: what is there now is all that can be known
    Arm(out);
    return;
  }
  // a watch given up earlier still delivers what was queued for it
  if (wd != wd_) return;
  if ((mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
    Arm(out);
    return;
  }
  if (!watchingDir_) {
    if (name == towardDir_) Arm(out);
    return;
  }
  if (name.empty() || !Counts(name)) return;
  const bool present = present_.count(name) != 0;
  if ((mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
    // a create for a name listed already was seen by the listing that followed the watch
    if (present && (mask & IN_CREATE) != 0) return;
    if (present) out.push_back({TPortEvent::TKind::Vanished, PathOf(name)});
    present_.insert(name);
    out.push_back({TPortEvent::TKind::Appeared, PathOf(name)});
  } else if ((mask & (IN_DELETE | IN_MOVED_FROM)) != 0 && present) {
    present_.erase(name);
    out.push_back({TPortEvent::TKind::Vanished, PathOf(name)});
  }
}

void TPortWatch::Drain(std::vector<TPortEvent>& out) {
  std::vector<char> buffer(kReadBuffer);
  while (true) {
    const ssize_t n = ::read(inotify_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) Fail("reading inotify events");
    for (ssize_t at = 0; at < n;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      // the name is padded with NULs up to len, and absent for events of the folder itself
      const char* name = buffer.data() + at + sizeof event;
      Handle(event.wd, event.mask, std::string(name, ::strnlen(name, event.len)), out);
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

std::vector<TPortEvent> TPortWatch::Wait(int timeoutMs) {
  std::vector<TPortEvent> out;
  out.swap(pending_);
  if (!out.empty()) return out;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  while (out.empty()) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = static_cast<int>(std::max<long long>(0, left));
    }
    std::array<pollfd, 2> fds{{{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) Fail("poll");
    if ((fds[0].revents & POLLIN) != 0) Drain(out);
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto n = ::read(wake_, &count, sizeof count);
      break;
    }
    if (ready == 0) break;
  }
  return out;
}

void TPortWatch::Wake() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
}

}  // namespace quorvel
