// The process's one copy of a file version: shared by every connection,
// each table read once however many threads ask at once, failures reaching
// every waiting thread as an error of its own, indexes made with the images
// that need them, and nothing kept once no connection holds the file.
#include "jet/loaded_file.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "jet/errors.h"
#include "jet/mirror.h"
#include "jet/row_sink.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

// What the fake file's readers did, shared by all of them.
struct Record {
  std::mutex mutex;
  std::condition_variable changed;
  int opened = 0;                 // readers opened, the first included
  std::vector<int> reads;         // ReadRows calls per table
  int reading = 0;                // reads under way now
  bool fail = false;              // ReadRows raises kErrDamaged
  bool hold = false;              // ReadRows waits until released
  bool one_reader = false;        // OpenAnother gives none: readers take turns
};

class FakeSource final : public TableSource {
 public:
  explicit FakeSource(Record& record) : record_(record) {
    for (const char* name : {"A", "B", "C"}) {
      tables_.push_back({FromUtf8(name), {{u"Id", JetType::kLong}}, name});
    }
    const std::lock_guard<std::mutex> lock(record_.mutex);
    ++record_.opened;
    record_.reads.resize(tables_.size());
  }

  const std::vector<TableInfo>& tables() const override { return tables_; }

  void ReadRows(std::size_t index, RowSink& sink) override {
    {
      std::unique_lock<std::mutex> lock(record_.mutex);
      ++record_.reads[index];
      ++record_.reading;
      record_.changed.notify_all();
      record_.changed.wait_for(lock, std::chrono::seconds(5), [&] { return !record_.hold; });
      --record_.reading;
      if (record_.fail) Raise(kErrDamaged, u"damaged on purpose");
    }
    for (int id = 1; id <= 100; ++id) {
      sink.SetInteger(0, id * 10 + static_cast<int>(index));
      sink.EndRow();
    }
  }

  std::unique_ptr<TableSource> OpenAnother() const override {
    if (record_.one_reader) return nullptr;
    return std::make_unique<FakeSource>(record_);
  }

 private:
  Record& record_;
  std::vector<TableInfo> tables_;
};

// A stamp no other test uses.
FileStamp NewStamp() {
  static std::atomic<std::uint64_t> next{1};
  FileStamp stamp;
  stamp.file_id = next++;
  return stamp;
}

std::shared_ptr<LoadedFile> Acquire(Record& record, const FileStamp& stamp, const char* path = "/fake/file.mdb") {
  return LoadedFile::Acquire(path, stamp, FileFormat::kJet4, [&] { return std::make_unique<FakeSource>(record); });
}

std::vector<LoadedFile::Need> Needs(const LoadedFile& file, std::initializer_list<const char16_t*> names,
                                    std::vector<std::u16string> index_columns = {}) {
  std::vector<LoadedFile::Need> needs;
  for (const char16_t* name : names) needs.push_back({file.Find(name), index_columns});
  return needs;
}

TEST(LoadedFileTest, OneCopyPerVersionWhileAConnectionHoldsIt) {
  Record record;
  const FileStamp stamp = NewStamp();
  auto first = Acquire(record, stamp);
  auto second = Acquire(record, stamp);
  EXPECT_EQ(first, second);
  EXPECT_EQ(record.opened, 1);

  FileStamp changed = stamp;
  changed.modified_ns += 1;
  const auto newer = Acquire(record, changed);
  EXPECT_NE(newer, first) << "a changed file is a new copy";
  EXPECT_NE(Acquire(record, stamp, "/fake/other.mdb"), first) << "two files stay two copies";

  const std::weak_ptr<LoadedFile> gone = first;
  first.reset();
  second.reset();
  EXPECT_TRUE(gone.expired()) << "no copy is kept that no connection holds";
  const int opened = record.opened;
  Acquire(record, stamp);
  EXPECT_EQ(record.opened, opened + 1);
  // A failed open is each caller's error, and is tried again.
  const auto fail = []() -> std::unique_ptr<TableSource> { Raise(kErrDamaged, u"cannot be opened"); };
  const FileStamp broken = NewStamp();
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(testing::ErrorOf([&] { LoadedFile::Acquire("/fake/broken.mdb", broken, FileFormat::kJet4, fail); })
                  .number(),
              kErrDamaged);
  }
  EXPECT_NE(Acquire(record, broken, "/fake/broken.mdb"), nullptr);
}

// Threads asking for a table at once wait for one read: its failure reaches
// each of them as an error of its own, and the next ask reads the table
// again, once for all of them.
TEST(LoadedFileTest, ThreadsAskingAtOnceShareOneRead) {
  Record record;
  const auto file = Acquire(record, NewStamp());
  constexpr std::size_t kThreads = 8;
  for (const bool fail : {true, false}) {
    record.fail = fail;
    record.hold = true;
    const int reads = record.reads[1];
    std::vector<std::shared_ptr<const TableImage>> got(kThreads);
    std::vector<Long> errors(kThreads);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        errors[t] = testing::ErrorOf([&] { got[t] = file->Images(Needs(*file, {u"B"}))[0]; }).number();
      });
    }
    {
      std::unique_lock<std::mutex> lock(record.mutex);
      record.changed.wait_for(lock, std::chrono::seconds(5), [&] { return record.reading == 1; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the others start waiting
    {
      const std::lock_guard<std::mutex> lock(record.mutex);
      record.hold = false;
      record.changed.notify_all();
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t t = 0; t < kThreads; ++t) {
      EXPECT_EQ(errors[t], fail ? kErrDamaged : 0) << "thread " << t;
      EXPECT_EQ(got[t], got[0]) << "thread " << t;
    }
    if (!fail) {
      EXPECT_EQ(record.reads[1], reads + 1) << "one read for all";
    }
  }
  EXPECT_GT(file->MemoryUsed(), 0u);
}

TEST(LoadedFileTest, IndexesComeWithTheStatementsThatNeedThem) {
  for (const bool one_reader : {false, true}) {
    Record record;
    record.one_reader = one_reader;
    const auto file = Acquire(record, NewStamp());
    const TableInfo *a = file->Find(u"A"), *b = file->Find(u"B"), *c = file->Find(u"C");
    // A is narrowed by its own index and B is not: only B's join column
    // gets an index. C, on neither side of a narrowing, gets one too.
    const auto images = file->Images({{a, {u"Id"}}, {b, {}}, {c, {}}},
                                     {{a, u"Id", b}, {b, u"Id", a}, {c, u"Id", b}});
    for (const auto& image : images) EXPECT_TRUE(image->HasIndex(u"Id"));
    EXPECT_EQ(file->generation(), 0u) << "no copy was made again for its joins";
    EXPECT_EQ(record.reads, (std::vector<int>{1, 1, 1})) << (one_reader ? "one reader" : "readers");
  }
  // An index asked for later makes a new image, and counts a generation.
  Record record;
  const auto file = Acquire(record, NewStamp());
  const auto plain = file->Images(Needs(*file, {u"A"}))[0];
  const std::uint64_t before = file->generation();
  const auto indexed = file->Images(Needs(*file, {u"A"}, {u"Id"}))[0];
  EXPECT_NE(indexed, plain);
  EXPECT_TRUE(indexed->HasIndex(u"id"));
  EXPECT_FALSE(plain->HasIndex(u"Id")) << "an image never changes";
  EXPECT_EQ(file->generation(), before + 1);
  EXPECT_EQ(file->Images(Needs(*file, {u"A"}, {u"Id"}))[0], indexed);
  EXPECT_EQ(record.reads[0], 1) << "the rows are read once";
}

// A copy larger than the room reserved for it is made again in a larger
// block, whole, with rows inserted many at a time and the last few alone.
TEST(LoadedFileTest, AnImageOutgrowingItsBlockIsMadeAgainLarger) {
  const TableInfo table{u"Big", {{u"Id", JetType::kLong}, {u"Name", JetType::kText}}, "Big"};
  constexpr int kRows = 60001;  // about 5 MB; the room reserved is 1 MB
  int fills = 0;
  const auto image = TableImage::Load(
      table,
      [&](RowSink& sink) {
        ++fills;
        const std::string name(60, 'x');
        for (int id = 1; id <= kRows; ++id) {
          sink.SetInteger(0, id);
          sink.SetText(1, name + std::to_string(id));
          sink.EndRow();
        }
      },
      {u"Id"}, 0);
  EXPECT_GT(fills, 1);
  EXPECT_TRUE(image->HasIndex(u"Id"));
  Mirror mirror;
  mirror.Attach(table, image, {&table});
  sqlite3_stmt* raw = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(mirror.db(), "SELECT COUNT(*), SUM(Id), MAX(Name) FROM Big", -1, &raw, nullptr),
            SQLITE_OK);
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  ASSERT_EQ(sqlite3_step(raw), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int64(raw, 0), kRows);
  EXPECT_EQ(sqlite3_column_int64(raw, 1), std::int64_t{kRows} * (kRows + 1) / 2);
  EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(raw, 2)), std::string(60, 'x') + "9999");
}

}  // namespace
}  // namespace qorvel::jet
