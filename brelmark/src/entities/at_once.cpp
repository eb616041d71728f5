// The worker count: the CPUs the process may use, and the variable that sets it.
#include "brelmark/at_once.hpp"

#include <sched.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace brelmark {

namespace {

std::string_view trimmed(std::string_view text) noexcept {
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) text.remove_suffix(1);
  return text;
}

// A whole decimal number, the whole text, with an optional "-".
std::optional<long long> whole_number(std::string_view text) noexcept {
  text = trimmed(text);
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::size_t> whole_cpus(long long quota, long long period) noexcept {
  if (quota <= 0 || period <= 0) return std::nullopt;
  return static_cast<std::size_t>((quota + period - 1) / period);
}

// The text of a small file, or nothing.
std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

// The least CPU quota of this process's cgroups, v2 (every level from the process's own group up
// to the root) or v1 (its cpu controller's group); nothing without a quota. Read once: a
// process's cgroup rarely moves, and the files are slow to read.
std::optional<std::size_t> cgroup_quota() {
  auto groups = read_file("/proc/self/cgroup");
  if (!groups) return std::nullopt;
  std::optional<std::size_t> least;
  auto keep = [&](std::optional<std::size_t> q) {
    if (q && (!least || *q < *least)) least = q;
  };
  std::string_view lines = *groups;
  while (!lines.empty()) {
    std::size_t eol = lines.find('\n');
    std::string_view line = lines.substr(0, eol);
    lines = eol == std::string_view::npos ? std::string_view{} : lines.substr(eol + 1);
    // "hierarchy-ID:controllers:path"
    std::size_t first = line.find(':');
    std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string path(line.substr(second + 1));
    if (line.substr(0, first) == "0" && controllers.empty()) {
      for (;;) {
        if (auto max = read_file("/sys/fs/cgroup" + path + "/cpu.max")) keep(cgroup2_quota(*max));
        if (path.empty() || path == "/") break;
        path.erase(path.rfind('/'));
      }
    } else if (controllers.find("cpu") != std::string_view::npos) {
      for (std::string root : {"/sys/fs/cgroup/cpu,cpuacct", "/sys/fs/cgroup/cpu"}) {
        auto quota = read_file(root + path + "/cpu.cfs_quota_us");
        auto period = read_file(root + path + "/cpu.cfs_period_us");
        if (quota && period) {
          keep(cgroup1_quota(*quota, *period));
          break;
        }
      }
    }
  }
  return least;
}

}  // namespace

std::optional<std::size_t> cgroup2_quota(std::string_view cpu_max) noexcept {
  cpu_max = trimmed(cpu_max);
  std::size_t gap = cpu_max.find(' ');
  if (gap == std::string_view::npos) return std::nullopt;
  auto quota = whole_number(cpu_max.substr(0, gap));  // "max" reads as no number: no limit
  auto period = whole_number(cpu_max.substr(gap + 1));
  if (!quota || !period) return std::nullopt;
  return whole_cpus(*quota, *period);
}

std::optional<std::size_t> cgroup1_quota(std::string_view quota_us, std::string_view period_us) noexcept {
  auto quota = whole_number(quota_us);
  auto period = whole_number(period_us);
  if (!quota || !period) return std::nullopt;
  return whole_cpus(*quota, *period);
}

std::size_t usable_cpus() noexcept {
  std::size_t cpus = 0;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = static_cast<std::size_t>(CPU_COUNT(&set));
  if (cpus == 0) cpus = std::thread::hardware_concurrency();
  static const std::optional<std::size_t> quota = [] {
    try {
      return cgroup_quota();
    } catch (...) {  // out of memory while reading the files: no quota known
      return std::optional<std::size_t>();
    }
  }();
  if (quota && *quota < cpus) cpus = *quota;
  return std::max<std::size_t>(cpus, 1);
}

std::optional<std::size_t> parse_thread_count(const char* text) noexcept {
  if (!text) return std::nullopt;
  auto value = whole_number(text);
  if (!value || *value < 1 || *value > static_cast<long long>(kMaxWorkers)) return std::nullopt;
  return static_cast<std::size_t>(*value);
}

std::size_t worker_count() noexcept {
  if (auto chosen = parse_thread_count(std::getenv(kThreadsVariable))) return *chosen;
  return std::min(usable_cpus(), kDefaultMaxWorkers);
}

}  // namespace brelmark
