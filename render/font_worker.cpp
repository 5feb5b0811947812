#include "render/font_worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "render/glyph_raster.h"

namespace {

struct Job {
  std::u32string key;
  PaintCell paint;
};

struct Worker {
  std::mutex lock;
  std::condition_variable wake;  // a job was queued
  std::condition_variable idle;  // a job ended
  std::deque<Job> queue;
  std::vector<FontPicture> done;
  bool running = false;   // a job is being painted
  bool exiting = false;   // the process is ending: no job starts any more
  std::atomic<bool> ready{false};
};

// Allocated once and never freed: exit-time destructors must not take a
// mutex or a condition variable from under a thread that may still be
// inside a job (destroying a condition variable with a waiter is undefined,
// and glibc's may block).
Worker& worker() {
  static Worker* w = new Worker;
  return *w;
}

void runJobs(Worker* w) {
  std::unique_lock<std::mutex> hold(w->lock);
  for (;;) {
    w->wake.wait(hold, [w] { return !w->queue.empty() && !w->exiting; });
    Job job = std::move(w->queue.front());
    w->queue.pop_front();
    w->running = true;
    hold.unlock();
    FontPicture picture;
    picture.key = std::move(job.key);
    picture.rgba.assign(static_cast<std::size_t>(kCellPixels) * kCellPixels * 4, 0);
    job.paint(picture.rgba.data());
    job.paint = nullptr;  // what it captured is freed here, off the lock
    hold.lock();
    w->running = false;
    w->done.push_back(std::move(picture));
    w->ready.store(true, std::memory_order_release);
    w->idle.notify_all();
  }
}

// At exit, before the destructors of what jobs use (the Windows font
// catalogue is a global): no further job starts, and one under way gets a
// moment to end. One that is stuck in the system is left there; it cannot
// come back in the little time the process still runs.
void holdJobsAtExit() {
  Worker& w = worker();
  std::unique_lock<std::mutex> hold(w.lock);
  w.exiting = true;
  w.idle.wait_for(hold, std::chrono::milliseconds(250), [&w] { return !w.running; });
}

}  // namespace

void requestFontPicture(std::u32string key, PaintCell paint) {
  Worker& w = worker();
  static std::once_flag started;
  // Detached: nothing ever joins it, so neither exit nor a stop waits for
  // a job that hangs.
  std::call_once(started, [&w] {
    std::thread(runJobs, &w).detach();
    std::atexit(holdJobsAtExit);
  });
  {
    std::lock_guard<std::mutex> hold(w.lock);
    w.queue.push_back(Job{std::move(key), std::move(paint)});
  }
  w.wake.notify_one();
}

std::size_t takeFontPictures(std::vector<FontPicture>& done) {
  Worker& w = worker();
  if (!w.ready.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> hold(w.lock);
  const std::size_t n = w.done.size();
  for (FontPicture& p : w.done) done.push_back(std::move(p));
  w.done.clear();
  w.ready.store(false, std::memory_order_relaxed);
  return n;
}

bool fontPicturesReady() { return worker().ready.load(std::memory_order_acquire); }

void waitForFontJobs() {
  Worker& w = worker();
  std::unique_lock<std::mutex> hold(w.lock);
  w.idle.wait(hold, [&w] { return w.queue.empty() && !w.running; });
}
