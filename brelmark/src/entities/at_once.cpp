// The worker threads, and their count: the CPUs the process may use, and the variable that sets it.
#include "brelmark/at_once.hpp"

#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#include <array>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__) && (defined(__x86_64__) || defined(__aarch64__))
// The C library's entry that gives (and on first use makes) this thread's block of a module.
extern "C" void* __tls_get_addr(void* index);
#define BRELMARK_TLS_GET_ADDR 1
#endif

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

namespace {

// ---- The workers ------------------------------------------------------------------------

// The memory a starting worker must find free before it touches any per-thread block: what the
// blocks and the thread's first allocations take (the C library's allocator grows its heap by up
// to 1 MB at a time where it cannot make an arena of its own for the thread).
constexpr std::size_t kStartingRoom = std::size_t{2} << 20;

// One call of run_pieces(): its pieces and the workers still running one.
struct Batch {
  Batch(void (*c)(void*, std::size_t), void* x, std::size_t workers) noexcept : call(c), context(x), running(workers) {}
  void (*call)(void*, std::size_t);
  void* context;
  std::mutex lock;
  std::condition_variable done;
  std::size_t running;
};

// A kept thread, waiting for a piece.
struct Worker {
  enum class State { Starting, Ready, Failed };
  std::mutex lock;
  std::condition_variable wake;
  State state = State::Starting;
  Batch* batch = nullptr;  // the call whose piece it runs, or nothing while idle
  std::size_t piece = 0;
};

// The free workers. Leaked on purpose: the threads wait on it until the process ends.
struct Pool {
  std::mutex lock;
  std::vector<Worker*> idle;  // room for every worker, kept ahead
  std::size_t workers = 0;    // started, free or busy
};

Pool* make_pool();

Pool* the_pool() {
  static Pool* const pool = make_pool();
  return pool;
}

// A forked child has none of its parent's threads: it forgets their workers (leaking them) and
// starts its own. The lock is held across fork() so that the child finds the list whole.
void before_fork() { the_pool()->lock.lock(); }
void after_fork_in_parent() { the_pool()->lock.unlock(); }
void after_fork_in_child() {
  Pool* pool = the_pool();
  pool->idle.clear();
  pool->workers = 0;
  pool->lock.unlock();
}

Pool* make_pool() {
  auto pool = std::make_unique<Pool>();
  pool->idle.reserve(kMaxWorkers);
  if (pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) != 0) throw std::bad_alloc();
  return pool.release();
}

#ifdef BRELMARK_TLS_GET_ADDR
struct TlsIndex {
  unsigned long module;
  unsigned long offset;
};

struct TlsModules {
  std::array<std::size_t, 256> ids;
  std::size_t count = 0;
};
#endif

// Makes this thread's block of every loaded module that has per-thread data (this library's, the
// C++ runtime's with its exception state, those of the libraries a piece may call), so that none
// is made later, when memory may have run out. False, with none touched, where the memory for
// them is not free.
bool make_thread_blocks() noexcept {
  void* room = mmap(nullptr, kStartingRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (room == MAP_FAILED) return false;
  munmap(room, kStartingRoom);
#ifdef BRELMARK_TLS_GET_ADDR
  TlsModules modules;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* found = static_cast<TlsModules*>(data);
        if (info->dlpi_tls_modid != 0 && found->count < found->ids.size()) found->ids[found->count++] = info->dlpi_tls_modid;
        return 0;
      },
      &modules);
  for (std::size_t k = 0; k < modules.count; ++k) {
    TlsIndex index{modules.ids[k], 0};
    __tls_get_addr(&index);
  }
#else
  (void)std::uncaught_exceptions();  // the C++ runtime's exception state at least
#endif
  return true;
}

// The mark of a thread whose blocks are made: a key of the C library's per-thread data, which takes
// no memory to read, nor to set for the first keys of a process (a key beyond them may fail to be
// set, and the blocks are then looked at again by the next call). Nothing where no key is left.
std::optional<pthread_key_t> made_key() noexcept {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) return std::nullopt;
  return key;
}

void serve(Worker* worker) {
  const bool ready = make_thread_blocks();
  {
    std::lock_guard hold(worker->lock);
    worker->state = ready ? Worker::State::Ready : Worker::State::Failed;
    worker->wake.notify_all();  // under the lock: a failed worker is deleted once it is seen
  }
  if (!ready) return;
  for (;;) {
    Batch* batch;
    std::size_t piece;
    {
      std::unique_lock hold(worker->lock);
      worker->wake.wait(hold, [&] { return worker->batch != nullptr; });
      batch = worker->batch;
      piece = worker->piece;
    }
    batch->call(batch->context, piece);
    {
      std::lock_guard hold(worker->lock);
      worker->batch = nullptr;
    }
    std::lock_guard hold(batch->lock);
    if (--batch->running == 0) batch->done.notify_one();  // under the lock: the batch ends once seen
  }
}

// A new worker, ready for pieces, or nothing where no thread can be started or it finds no memory.
Worker* start_worker() noexcept {
  try {
    auto worker = std::make_unique<Worker>();
    std::thread thread(serve, worker.get());
    std::unique_lock hold(worker->lock);
    worker->wake.wait(hold, [&] { return worker->state != Worker::State::Starting; });
    const bool ready = worker->state == Worker::State::Ready;
    hold.unlock();
    if (!ready) {
      thread.join();
      return nullptr;
    }
    thread.detach();
    return worker.release();
  } catch (...) {  // no thread or no memory for one
    return nullptr;
  }
}

// Up to `wanted` workers for one call: free ones, then new ones while the pool has room.
std::size_t take_workers(std::size_t wanted, std::array<Worker*, kMaxWorkers>& taken) noexcept {
  Pool* pool;
  try {
    pool = the_pool();
  } catch (...) {  // no memory for the pool
    return 0;
  }
  std::size_t count = 0;
  std::size_t to_start = 0;
  {
    std::lock_guard hold(pool->lock);
    while (count < wanted && !pool->idle.empty()) {
      taken[count++] = pool->idle.back();
      pool->idle.pop_back();
    }
    to_start = std::min(wanted - count, kMaxWorkers - pool->workers);
    pool->workers += to_start;
  }
  std::size_t started = 0;
  while (started < to_start) {
    Worker* worker = start_worker();
    if (!worker) break;  // short of threads or memory: the rest run here
    taken[count++] = worker;
    ++started;
  }
  if (started < to_start) {
    std::lock_guard hold(pool->lock);
    pool->workers -= to_start - started;
  }
  return count;
}

void give_back(std::array<Worker*, kMaxWorkers>& taken, std::size_t count) noexcept {
  Pool* pool = the_pool();
  std::lock_guard hold(pool->lock);
  for (std::size_t k = 0; k < count; ++k) pool->idle.push_back(taken[k]);  // within the room kept
}

}  // namespace

bool thread_blocks_made() noexcept {
  static const std::optional<pthread_key_t> key = made_key();
  if (!key) return true;  // no key left to mark the threads with: nothing is made
  if (pthread_getspecific(*key) != nullptr) return true;
  if (!make_thread_blocks()) return false;
  static const bool made = true;
  pthread_setspecific(*key, &made);
  return true;
}

void run_pieces(std::size_t count, void (*call)(void*, std::size_t), void* context) {
  if (count == 0) return;
  std::array<Worker*, kMaxWorkers> workers{};
  const std::size_t helped = take_workers(std::min(count, kMaxWorkers) - 1, workers);
  Batch batch(call, context, helped);
  for (std::size_t k = 0; k < helped; ++k) {
    std::lock_guard hold(workers[k]->lock);
    workers[k]->batch = &batch;
    workers[k]->piece = k + 1;
    workers[k]->wake.notify_one();
  }
  call(context, 0);
  for (std::size_t k = helped + 1; k < count; ++k) call(context, k);
  {
    std::unique_lock hold(batch.lock);
    batch.done.wait(hold, [&] { return batch.running == 0; });
  }
  if (helped > 0) give_back(workers, helped);
}

}  // namespace brelmark
