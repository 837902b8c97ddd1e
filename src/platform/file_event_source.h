#pragma once

#include "platform/dispatch.h"

#include <QString>

#include <functional>
#include <memory>

namespace tandrel {

// A watch on one file or folder that reports changes to it, in the manner of a file-system
// object event source: while it lives, every change is handed to `handler` as a set of
// `FileEvent` flags on the given serial queue. Destroying it (or cancel()) stops the reports and
// releases the watch; a report already queued may still run, so handlers hold their owner weakly.
//
// Backed by inotify with its own reader thread (poll on the inotify descriptor).
class FileEventSource {
 public:
  enum FileEvent : unsigned {
    Write = 1u << 0,   // contents changed
    Attrib = 1u << 1,  // metadata changed (also on a new or removed link)
    Delete = 1u << 2,  // the watched file or folder, or the named entry, was removed
    Rename = 1u << 3,  // moved away, or (folder) the named entry moved in or out
    Revoke = 1u << 4,  // the watch ended (file system unmounted, inode gone)
    Create = 1u << 5,  // (folder) the named entry was created
  };

  // Watches the file at `path` for Write, Attrib, Delete, Rename and Revoke. Nothing (and no
  // thread) when the file cannot be watched, for example because it does not exist.
  static std::unique_ptr<FileEventSource> watchFile(const QString& path, SerialQueue& queue,
                                                    std::function<void(unsigned)> handler);

  // Watches the folder at `path` for the entry called `entryName` being created, deleted, renamed
  // or changing metadata, and for the folder itself being deleted or moved. Changes to other
  // entries of the folder are not reported.
  static std::unique_ptr<FileEventSource> watchFolderEntry(const QString& path,
                                                           const QString& entryName,
                                                           SerialQueue& queue,
                                                           std::function<void(unsigned)> handler);

  ~FileEventSource();
  FileEventSource(const FileEventSource&) = delete;
  FileEventSource& operator=(const FileEventSource&) = delete;

  void cancel();

  struct Impl;  // the inotify descriptor and its reader thread

 private:
  explicit FileEventSource(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tandrel
