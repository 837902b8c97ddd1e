#include "platform/file_event_source.h"

#include "base/thread_name.h"

#include <QFile>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace tandrel {

struct FileEventSource::Impl {
  int inotifyFd = -1;
  int wakeFd = -1;
  QByteArray entryName;  // empty: report every event of the watch
  SerialQueue* queue = nullptr;
  std::function<void(unsigned)> handler;
  std::thread reader;
  std::atomic<bool> cancelled{false};

  ~Impl() { stop(); }

  void stop() {
    if (cancelled.exchange(true)) {
      return;
    }
    if (wakeFd >= 0) {
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
    }
    if (reader.joinable()) {
      reader.join();
    }
    if (inotifyFd >= 0) {
      ::close(inotifyFd);
      inotifyFd = -1;
    }
    if (wakeFd >= 0) {
      ::close(wakeFd);
      wakeFd = -1;
    }
  }

  unsigned translate(const inotify_event& event) const {
    if (!entryName.isEmpty() && event.len > 0) {
      if (QByteArray(event.name) != entryName) {
        return 0;
      }
    }
    unsigned flags = 0;
    if (event.mask & IN_MODIFY) flags |= Write;
    if (event.mask & IN_ATTRIB) flags |= Attrib;
    if (event.mask & (IN_DELETE | IN_DELETE_SELF)) flags |= Delete;
    if (event.mask & (IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF)) flags |= Rename;
    if (event.mask & IN_CREATE) flags |= Create;
    if (event.mask & (IN_IGNORED | IN_UNMOUNT)) flags |= Revoke;
    return flags;
  }

  void run() {
    nameCurrentThread(QStringLiteral("file-events"));
    alignas(inotify_event) char buffer[16 * 1024];
    pollfd fds[2] = {{inotifyFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    while (!cancelled) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;
      }
      if (fds[1].revents != 0 || cancelled) {
        return;
      }
      const ssize_t length = ::read(inotifyFd, buffer, sizeof buffer);
      if (length <= 0) {
        if (length < 0 && (errno == EINTR || errno == EAGAIN)) {
          continue;
        }
        return;
      }
      unsigned flags = 0;
      for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        flags |= translate(*event);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
      if (flags != 0 && !cancelled) {
        queue->async([handler = handler, flags] { handler(flags); });
      }
    }
  }
};

namespace {

std::unique_ptr<FileEventSource::Impl> makeWatch(const QString& path, uint32_t mask,
                                                 SerialQueue& queue,
                                                 std::function<void(unsigned)> handler) {
  auto impl = std::make_unique<FileEventSource::Impl>();
  impl->inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (impl->inotifyFd < 0) {
    return nullptr;
  }
  if (::inotify_add_watch(impl->inotifyFd, QFile::encodeName(path).constData(), mask) < 0) {
    return nullptr;  // the destructor closes the descriptor
  }
  impl->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl->wakeFd < 0) {
    return nullptr;
  }
  impl->queue = &queue;
  impl->handler = std::move(handler);
  return impl;
}

}  // namespace

FileEventSource::FileEventSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  Impl* raw = impl_.get();
  impl_->reader = std::thread([raw] { raw->run(); });
}

FileEventSource::~FileEventSource() = default;

void FileEventSource::cancel() { impl_->stop(); }

std::unique_ptr<FileEventSource> FileEventSource::watchFile(const QString& path, SerialQueue& queue,
                                                            std::function<void(unsigned)> handler) {
  auto impl = makeWatch(path, IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF, queue,
                        std::move(handler));
  if (!impl) {
    return nullptr;
  }
  return std::unique_ptr<FileEventSource>(new FileEventSource(std::move(impl)));
}

std::unique_ptr<FileEventSource> FileEventSource::watchFolderEntry(
    const QString& path, const QString& entryName, SerialQueue& queue,
    std::function<void(unsigned)> handler) {
  auto impl = makeWatch(path,
                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                            IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR,
                        queue, std::move(handler));
  if (!impl) {
    return nullptr;
  }
  impl->entryName = QFile::encodeName(entryName);
  return std::unique_ptr<FileEventSource>(new FileEventSource(std::move(impl)));
}

}  // namespace tandrel
