// LoadedFile: the process's versions of its database files, and the loads
// of their tables.
#include "jet/loaded_file.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "jet/errors.h"
#include "jet/row_sink.h"
#include "jet/text.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet {

// A load or index build under way, and how it ended. Threads that wait for
// it raise an error of their own from `error`: a copy of the
// AutomationError, so that no two threads hold one exception object.
struct LoadedFile::Attempt {
  bool done = false;
  std::optional<AutomationError> error;
  std::exception_ptr other_error;  // anything else (out of memory)

  // Ends the attempt with `failure`.
  void Fail(std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const AutomationError& e) {
      error = e;
    } catch (...) {
      other_error = std::current_exception();
    }
  }
  [[noreturn]] void Raise() const {
    if (error) throw AutomationError(*error);
    std::rethrow_exception(other_error);
  }
  bool failed() const { return error.has_value() || other_error != nullptr; }
};

// The versions of files that connections hold, by path and stamp. A version
// is opened once: connections asking while it opens wait for it.
class Registry {
 public:
  static Registry& Instance() {
    // Never destroyed: connections on other threads may still let go of
    // their versions while the process exits.
    static Registry* const registry = new Registry;
    return *registry;
  }

  std::shared_ptr<LoadedFile> Acquire(const std::filesystem::path& path, const FileStamp& stamp,
                                      FileFormat format, const LoadedFile::Opener& open) {
    const Key key{path.native(), stamp.volume, stamp.file_id, stamp.size, stamp.modified_ns};
    std::shared_ptr<LoadedFile::Attempt> opening;
    std::unique_lock<std::mutex> lock(mutex_);
    // Versions no connection holds any more are gone; so go their entries.
    std::erase_if(files_, [](const auto& entry) { return entry.second.expired(); });
    if (const auto it = files_.find(key); it != files_.end()) {
      if (auto file = it->second.lock()) {
        const auto waiting = openings_.find(file.get());
        if (waiting == openings_.end()) return file;
        opening = waiting->second;
        changed_.wait(lock, [&] { return opening->done; });
        if (opening->failed()) opening->Raise();
        return file;
      }
    }
    std::shared_ptr<LoadedFile> file(new LoadedFile(format));
    opening = std::make_shared<LoadedFile::Attempt>();
    files_[key] = file;
    openings_[file.get()] = opening;
    lock.unlock();

    std::exception_ptr failure;
    try {
      file->source_ = open();
      file->slots_.resize(file->source_->tables().size());
      file->idle_sources_.push_back(file->source_.get());
      const auto& tables = file->source_->tables();
      for (std::size_t i = 0; i < tables.size(); ++i) file->by_name_.emplace(FoldText(tables[i].name), i);
    } catch (...) {
      failure = std::current_exception();
    }

    lock.lock();
    openings_.erase(file.get());
    opening->done = true;
    if (failure != nullptr) {
      opening->Fail(failure);
      files_.erase(key);  // the next connection tries again
    }
    lock.unlock();
    changed_.notify_all();
    if (failure != nullptr) std::rethrow_exception(failure);
    return file;
  }

 private:
  struct Key {
    std::filesystem::path::string_type path;
    std::uint64_t volume;
    std::uint64_t file_id;
    std::uint64_t size;
    std::int64_t modified_ns;
    auto operator<=>(const Key&) const = default;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Key, std::weak_ptr<LoadedFile>> files_;
  std::map<const LoadedFile*, std::shared_ptr<LoadedFile::Attempt>> openings_;  // versions being opened
};

std::shared_ptr<LoadedFile> LoadedFile::Acquire(const std::filesystem::path& path, const FileStamp& stamp,
                                                FileFormat format, const Opener& open) {
  return Registry::Instance().Acquire(path, stamp, format, open);
}

LoadedFile::LoadedFile(FileFormat format) : format_(format) {}
LoadedFile::~LoadedFile() = default;

const std::vector<TableInfo>& LoadedFile::tables() const { return source_->tables(); }

const TableInfo* LoadedFile::Find(std::u16string_view name) const {
  const auto it = by_name_.find(FoldText(name));
  return it == by_name_.end() ? nullptr : &tables()[it->second];
}

std::size_t LoadedFile::IndexOf(const TableInfo& table) const {
  return static_cast<std::size_t>(&table - tables().data());
}

std::shared_ptr<const TableImage> LoadedFile::Image(const TableInfo& table) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return slots_[IndexOf(table)].image;
}

std::size_t LoadedFile::MemoryUsed() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::size_t total = 0;
  for (const Slot& slot : slots_) total += slot.image != nullptr ? slot.image->size() : 0;
  return total;
}

TableSource* LoadedFile::TakeSource() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (idle_sources_.empty() && others_possible_) {
    lock.unlock();
    std::unique_ptr<TableSource> another = source_->OpenAnother();
    lock.lock();
    if (another != nullptr) {
      other_sources_.push_back(std::move(another));
      return other_sources_.back().get();
    }
    others_possible_ = false;
  }
  changed_.wait(lock, [&] { return !idle_sources_.empty(); });
  TableSource* source = idle_sources_.back();
  idle_sources_.pop_back();
  return source;
}

void LoadedFile::ReturnSource(TableSource* source) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    idle_sources_.push_back(source);
  }
  changed_.notify_all();
}

void LoadedFile::Publish(std::size_t index, const std::shared_ptr<const TableImage>& image,
                         std::exception_ptr error) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[index];
    std::shared_ptr<Attempt> attempt = std::move(slot.pending);
    attempt->done = true;
    if (error != nullptr) {
      attempt->Fail(error);
    } else {
      if (slot.image != nullptr) generation_.fetch_add(1, std::memory_order_acq_rel);
      slot.image = image;
    }
  }
  changed_.notify_all();
}

// A table one call loads: its copy, until finished and published.
struct LoadedFile::Loading {
  Loading(std::size_t need_at, std::size_t table_index, std::shared_ptr<Attempt> pending)
      : need(need_at), index(table_index), attempt(std::move(pending)) {}

  std::size_t need;  // position in the call's needs
  std::size_t index;
  std::shared_ptr<Attempt> attempt;
  std::unique_ptr<TableImage::Draft> draft;
  bool published = false;
};

void LoadedFile::StartLoad(Loading& loading, const std::vector<IndexRequest>& tested,
                           std::vector<IndexRequest> joins) {
  try {
    // A reader is taken for each reading and given back at once: a draft
    // waiting for its join indexes holds none, so readers that take turns
    // (SQLite files) never wait for each other's drafts.
    const std::size_t index = loading.index;
    const auto with_source = [this](const auto& use) {
      TableSource* source = TakeSource();
      try {
        use(*source);
      } catch (...) {
        ReturnSource(source);
        throw;
      }
      ReturnSource(source);
    };
    // A copy takes about as much room as the rows in the file; twice that
    // is reserved, costing nothing until written.
    std::size_t hint = 0;
    with_source([&](TableSource& source) { hint = static_cast<std::size_t>(2 * source.SizeHint(index) + (1u << 20)); });
    loading.draft = std::make_unique<TableImage::Draft>(
        tables()[index],
        [with_source, index](RowSink& sink) { with_source([&](TableSource& source) { source.ReadRows(index, sink); }); },
        hint);
    loading.draft->AddIndexes(tested);
    loading.draft->AddIndexes(DeclaredLookups(tables()[index].indexes));
    // The join indexes that the table's own narrowing decides, whatever the
    // other side is, are built now, beside the other tables' loads.
    const bool narrowed =
        NarrowedDown(tested, [&](std::u16string_view column) { return loading.draft->HasIndex(column); });
    for (IndexRequest& join : joins) join.table_narrowed = narrowed;
    loading.draft->AddIndexes(joins);
  } catch (...) {
    Finish(loading, std::current_exception());
  }
}

void LoadedFile::Finish(Loading& loading, std::exception_ptr error) {
  if (loading.published) return;
  std::shared_ptr<const TableImage> image;
  if (error == nullptr) {
    try {
      image = loading.draft->Finish();
    } catch (...) {
      error = std::current_exception();
    }
  }
  loading.draft.reset();
  loading.published = true;
  Publish(loading.index, image, error);
}

void LoadedFile::LoadTable(std::size_t index, const std::vector<IndexRequest>& requests) {
  Loading loading(0, index, nullptr);
  StartLoad(loading, requests, {});
  Finish(loading, nullptr);
}

std::shared_ptr<const TableImage> LoadedFile::Current(std::size_t index,
                                                      const std::vector<IndexRequest>& requests) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Slot& slot = slots_[index];
    // An image with every index the caller needs serves it, even while
    // another thread makes a newer one with more.
    const std::shared_ptr<const TableImage> current = slot.image;
    if (current != nullptr && std::all_of(requests.begin(), requests.end(), [&](const IndexRequest& request) {
          return current->Decided(request.column);
        })) {
      return current;
    }
    if (slot.pending != nullptr) {
      const std::shared_ptr<Attempt> attempt = slot.pending;
      changed_.wait(lock, [&] { return attempt->done; });
      if (attempt->failed()) attempt->Raise();
      continue;
    }
    if (current == nullptr) {
      // Loaded by nobody: a load that failed before this call waited for
      // it. Try again, as a statement on that file always does.
      slot.pending = std::make_shared<Attempt>();
      const std::shared_ptr<Attempt> attempt = slot.pending;
      lock.unlock();
      LoadTable(index, requests);
      lock.lock();
      if (attempt->failed()) attempt->Raise();
      continue;
    }
    slot.pending = std::make_shared<Attempt>();
    const std::shared_ptr<Attempt> attempt = slot.pending;
    lock.unlock();
    std::shared_ptr<const TableImage> indexed;
    std::exception_ptr error;
    try {
      indexed = TableImage::WithIndexes(current, tables()[index], requests);
    } catch (...) {
      error = std::current_exception();
    }
    Publish(index, indexed, error);
    lock.lock();
    if (attempt->failed()) attempt->Raise();
  }
}

std::vector<std::shared_ptr<const TableImage>> LoadedFile::Images(const std::vector<Need>& needs,
                                                                  const std::vector<Join>& joins) {
  // The tables nobody has loaded or is loading are this call's to load.
  std::vector<Loading> loadings;
  std::vector<Loading*> loading_of(needs.size(), nullptr);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t n = 0; n < needs.size(); ++n) {
      Slot& slot = slots_[IndexOf(*needs[n].table)];
      if (slot.image != nullptr || slot.pending != nullptr) continue;
      slot.pending = std::make_shared<Attempt>();
      loadings.emplace_back(n, IndexOf(*needs[n].table), slot.pending);
    }
  }
  for (Loading& loading : loadings) loading_of[loading.need] = &loading;
  // Whatever happens below, every table this call loads is published, so
  // that no thread waits for it for ever.
  struct PublishAll {
    LoadedFile& file;
    std::vector<Loading>& loadings;
    ~PublishAll() {
      for (Loading& loading : loadings) file.Finish(loading, nullptr);
    }
  } publish_all{*this, loadings};

  const auto position = [&](const TableInfo* table) {
    for (std::size_t n = 0; n < needs.size(); ++n) {
      if (needs[n].table == table) return n;
    }
    return needs.size();
  };
  std::vector<std::vector<IndexRequest>> tested(needs.size());  // each table's columns tested against values
  for (std::size_t n = 0; n < needs.size(); ++n) tested[n] = TestedColumns(needs[n].index_columns);
  std::vector<std::vector<IndexRequest>> joined(needs.size());  // each table's join columns
  for (const Join& join : joins) {
    if (const std::size_t n = position(join.table); n < needs.size()) joined[n].push_back({join.column, true});
  }

  if (!loadings.empty()) {
    // Side by side: this thread and as many more as the machine has cores
    // (at most one per table) take the tables one after another: rows, then
    // the indexes on the columns tested against values.
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
      for (std::size_t k = next.fetch_add(1); k < loadings.size(); k = next.fetch_add(1)) {
        StartLoad(loadings[k], tested[loadings[k].need], joined[loadings[k].need]);
      }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < std::min(cores, loadings.size()); ++t) {
      try {
        helpers.emplace_back(work);
      } catch (const std::system_error&) {
        break;  // no thread to be had: this one does the rest
      }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    for (Loading& loading : loadings) {
      if (loading.published && loading.attempt->failed()) loading.attempt->Raise();
    }
  }

  // The tables others load or loaded, with the indexes on the columns
  // tested against values.
  std::vector<std::shared_ptr<const TableImage>> images(needs.size());
  for (std::size_t n = 0; n < needs.size(); ++n) {
    if (loading_of[n] == nullptr) images[n] = Current(IndexOf(*needs[n].table), tested[n]);
  }

  // Then the join columns, now that those indexes tell which tables are
  // narrowed down.
  std::vector<bool> narrowed(needs.size(), false);
  for (std::size_t n = 0; n < needs.size(); ++n) {
    if (loading_of[n] != nullptr && loading_of[n]->draft == nullptr) continue;
    narrowed[n] = NarrowedDown(tested[n], [&](std::u16string_view column) {
      return loading_of[n] != nullptr ? loading_of[n]->draft->HasIndex(column) : images[n]->HasIndex(column);
    });
  }
  std::vector<std::vector<IndexRequest>> join_requests(needs.size());
  for (const Join& join : joins) {
    const std::size_t n = position(join.table);
    const std::size_t other = position(join.other);
    if (n == needs.size()) continue;
    IndexRequest request{join.column, true, narrowed[n], other < needs.size() && narrowed[other]};
    if (DecideIndex(request) == IndexDecision::kNone) continue;
    join_requests[n].push_back(std::move(request));
  }
  for (std::size_t n = 0; n < needs.size(); ++n) {
    if (Loading* loading = loading_of[n]) {
      std::exception_ptr error;
      try {
        loading->draft->AddIndexes(join_requests[n]);
      } catch (...) {
        error = std::current_exception();
      }
      Finish(*loading, error);
      if (loading->attempt->failed()) loading->attempt->Raise();
      images[n] = Image(*needs[n].table);
    } else if (!join_requests[n].empty()) {
      images[n] = Current(IndexOf(*needs[n].table), join_requests[n]);
    }
  }
  // Loading leaves much freed memory behind (the rows' texts, the sorts of
  // index builds), some of it in the allocator's areas of threads that are
  // gone, which the C library may keep for the process unless asked.
  if (!loadings.empty()) ReturnFreeHeap();
  return images;
}

}  // namespace qorvel::jet
