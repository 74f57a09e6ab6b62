#include "document/store.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "document/json_dump.h"

namespace kova::doc {
namespace {

namespace fs = std::filesystem;

// A private temporary directory per test, removed afterwards.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "kova-doc-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

// Runs SQL on a file directly, the way another program (or damage) would.
void run_sql(const fs::path& p, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

Store open_ok(const fs::path& p) {
  auto s = Store::open(p);
  EXPECT_TRUE(s) << s.error().message;
  if (!s) std::abort();
  return std::move(*s);
}

// One saved connection, the way the application writes it.
void add_connection(Store& s, const char* id, const char* name, std::int64_t port) {
  Document& d = s.doc();
  ObjId conns;
  if (auto v = d.get(root, "connections"); v && std::holds_alternative<ObjRef>(*v)) {
    conns = std::get<ObjRef>(*v).id;
  } else {
    conns = *d.put_object(root, "connections", ObjType::Map);
  }
  const ObjId c = *d.put_object(conns, id, ObjType::Map);
  const ObjId n = *d.put_object(c, "name", ObjType::Text);
  ASSERT_TRUE(d.splice_text(n, 0, 0, name));
  ASSERT_TRUE(d.put(c, "port", port));
  auto committed = s.commit(std::string("add ") + id);
  ASSERT_TRUE(committed) << committed.error().message;
}

ObjId obj_at(const Document& d, ObjId obj, std::string_view key) {
  auto v = d.get(obj, key);
  if (!v || !std::holds_alternative<ObjRef>(*v)) {
    ADD_FAILURE() << "no object at " << key;
    return root;
  }
  return std::get<ObjRef>(*v).id;
}

bool wait_readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 10000) == 1;
}

TEST_F(StoreTest, CreatesPrivateFilesAndKeepsCommitsAcrossReopening) {
  const fs::path file = dir_ / "state" / "kova" / "documents" / "doc.sqlite";
  const mode_t old_mask = ::umask(0);  // the modes must not depend on the umask
  std::string dump;
  std::vector<ChangeHash> heads;
  {
    Store s = open_ok(file);
    ::umask(old_mask);
    EXPECT_EQ(s.path(), file);
    add_connection(s, "web", "Web server", 22);
    add_connection(s, "db", "Database", 5432);
    EXPECT_EQ(mode_of(dir_ / "state"), 0700u);
    EXPECT_EQ(mode_of(file.parent_path()), 0700u);
    EXPECT_EQ(mode_of(file), 0600u);
    EXPECT_EQ(mode_of(fs::path(file.string() + "-wal")), 0600u);
    EXPECT_EQ(mode_of(fs::path(file.string() + "-shm")), 0600u);
    auto nothing = s.commit("no edits");
    ASSERT_TRUE(nothing);
    EXPECT_FALSE(*nothing);
    dump = dump_json(s.doc());
    heads = s.doc().heads();
  }
  ::umask(old_mask);
  Store again = open_ok(file);
  EXPECT_EQ(dump_json(again.doc()), dump);
  EXPECT_EQ(again.doc().heads(), heads);
  EXPECT_EQ(again.doc().history().size(), 2u);
  // A new session edits on top of what was loaded.
  add_connection(again, "nas", "NAS", 22);
  EXPECT_EQ(again.doc().history().back().deps, heads);
}

TEST_F(StoreTest, CommitIsOnDiskWhenTheCallReturns) {
  const fs::path file = dir_ / "doc.sqlite";
  { Store s = open_ok(file); }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto s = Store::open(file);
    if (!s) ::_exit(2);
    if (!s->doc().put(root, "k", std::string{"v"}) || !s->commit("edit")) ::_exit(3);
    // Die without closing anything: no destructor, no checkpoint.
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  Store s = open_ok(file);
  EXPECT_EQ(s.doc().get(root, "k"), (std::optional<Value>{Scalar{std::string{"v"}}}));
}

TEST_F(StoreTest, TwoStoresOnOneFileSeeEachOthersCommits) {
  const fs::path file = dir_ / "doc.sqlite";
  Store a = open_ok(file);
  Store b = open_ok(file);
  ASSERT_GE(b.watch_fd(), 0);
  auto idle = b.refresh();
  ASSERT_TRUE(idle);
  EXPECT_FALSE(*idle);

  add_connection(a, "web", "Web server", 22);
  ASSERT_TRUE(wait_readable(b.watch_fd())) << "no wake-up after another store committed";
  auto changed = b.refresh();
  ASSERT_TRUE(changed) << changed.error().message;
  EXPECT_TRUE(*changed);
  EXPECT_EQ(dump_json(b.doc()), dump_json(a.doc()));
  auto again = b.refresh();
  ASSERT_TRUE(again);
  EXPECT_FALSE(*again);

  // Both edit; each sees both edits, and a reopened file holds all of them.
  const ObjId web = obj_at(b.doc(), obj_at(b.doc(), root, "connections"), "web");
  ASSERT_TRUE(b.doc().put(web, "user", std::string{"root"}));
  ASSERT_TRUE(b.commit("user"));
  add_connection(a, "db", "Database", 5432);
  ASSERT_TRUE(a.refresh());
  ASSERT_TRUE(b.refresh());
  EXPECT_EQ(dump_json(a.doc()), dump_json(b.doc()));
  EXPECT_EQ(a.doc().heads(), b.doc().heads());
  Store c = open_ok(file);
  EXPECT_EQ(dump_json(c.doc()), dump_json(a.doc()));
}

TEST_F(StoreTest, RefreshCommitsAPendingChangeFirst) {
  const fs::path file = dir_ / "doc.sqlite";
  Store a = open_ok(file);
  Store b = open_ok(file);
  ASSERT_TRUE(a.doc().put(root, "a", true));
  ASSERT_TRUE(b.doc().put(root, "b", true));
  ASSERT_TRUE(b.commit("b"));
  auto changed = a.refresh();
  ASSERT_TRUE(changed) << changed.error().message;
  EXPECT_TRUE(*changed);
  EXPECT_FALSE(a.doc().has_pending());
  ASSERT_TRUE(b.refresh());
  EXPECT_EQ(dump_json(b.doc()), dump_json(a.doc()));
  EXPECT_EQ(b.doc().keys(root), (std::vector<std::string>{"a", "b"}));
}

TEST_F(StoreTest, SecondProcessWakesTheFirst) {
  const fs::path file = dir_ / "doc.sqlite";
  Store mine = open_ok(file);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto s = Store::open(file);
    if (!s) ::_exit(2);
    if (!s->doc().put(root, "from", std::string{"child"}) || !s->commit("child edit")) ::_exit(3);
    ::_exit(0);
  }
  ASSERT_TRUE(wait_readable(mine.watch_fd())) << "no wake-up after the other process committed";
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  // The child may still be writing when the first event arrives; it has
  // finished now.
  ASSERT_TRUE(mine.refresh());
  EXPECT_EQ(mine.doc().get(root, "from"), (std::optional<Value>{Scalar{std::string{"child"}}}));
}

TEST_F(StoreTest, MergingFilesConvergesInBothOrdersAndLeavesTheOtherFileAlone) {
  const fs::path base = dir_ / "base.sqlite";
  {
    Store s = open_ok(base);
    add_connection(s, "web", "web server", 22);
    add_connection(s, "db", "Database", 5432);
  }
  for (bool a_first : {true, false}) {
    SCOPED_TRACE(a_first ? "a merges first" : "b merges first");
    const fs::path fa = dir_ / (a_first ? "a1.sqlite" : "a2.sqlite");
    const fs::path fb = dir_ / (a_first ? "b1.sqlite" : "b2.sqlite");
    Store a = open_ok(fa);
    Store b = open_ok(fb);
    ASSERT_EQ(a.merge_file(base), 2u);
    ASSERT_EQ(b.merge_file(base), 2u);
    const ObjId conns = obj_at(a.doc(), root, "connections");
    const ObjId web = obj_at(a.doc(), conns, "web");
    const ObjId name = obj_at(a.doc(), web, "name");
    ASSERT_TRUE(splice_text_diffed(a.doc(), name, "Web server"));
    ASSERT_TRUE(a.doc().put(web, "port", std::int64_t{2222}));
    ASSERT_TRUE(a.commit("a"));
    ASSERT_TRUE(splice_text_diffed(b.doc(), name, "web server (prod)"));
    ASSERT_TRUE(b.doc().delete_key(conns, "db"));
    ASSERT_TRUE(b.commit("b"));

    Store& first = a_first ? a : b;
    Store& second = a_first ? b : a;
    const fs::path first_file = a_first ? fa : fb;
    const fs::path second_file = a_first ? fb : fa;
    const std::string other_bytes = read_all(second_file);
    auto in = first.merge_file(second_file);
    ASSERT_TRUE(in) << in.error().message;
    EXPECT_EQ(*in, 1u);
    EXPECT_EQ(read_all(second_file), other_bytes);
    auto back = second.merge_file(first_file);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, 1u);
    EXPECT_EQ(first.merge_file(second_file), 0u);

    EXPECT_EQ(dump_json(a.doc()), dump_json(b.doc()));
    EXPECT_EQ(a.doc().text(name), "Web server (prod)");
    EXPECT_EQ(a.doc().keys(conns), std::vector<std::string>{"web"});
    // Merged commits are ours now: they survive reopening.
    const std::string merged = dump_json(a.doc());
    Store reopened = open_ok(dir_ / "reopen.sqlite");
    ASSERT_TRUE(reopened.merge_file(fa));
    EXPECT_EQ(dump_json(reopened.doc()), merged);
    reopened = Store::in_memory();
    fs::remove(dir_ / "reopen.sqlite");
  }
}

TEST_F(StoreTest, DamagedFilesAreRefusedAndLeftUntouched) {
  // A good store to damage in various ways.
  const fs::path good = dir_ / "good.sqlite";
  {
    Store s = open_ok(good);
    add_connection(s, "web", "Web server", 22);
  }
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* message;
  };
  const Case cases[] = {
      {"garbage bytes",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary) << std::string(5000, '\x5a'); },
       "not an SQLite database"},
      {"short file", [](const fs::path& p) { std::ofstream(p, std::ios::binary) << "SQLite"; },
       "not an SQLite database"},
      {"truncated database",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         fs::resize_file(p, fs::file_size(p) / 2);
       },
       "truncated"},
      {"another program's database",
       [](const fs::path& p) {
         run_sql(p, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('x')");
       },
       "another program"},
      {"newer format version",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         run_sql(p, "PRAGMA user_version = 7");
       },
       "format version 7"},
      {"missing commits table",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         run_sql(p, "DROP TABLE commits; CREATE TABLE commits (x)");
       },
       "wrong schema"},
      {"corrupt commit body",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         run_sql(p, "UPDATE commits SET body = X'01FFFF'");
       },
       "row 1: corrupt commit"},
      {"hash column of another commit",
       [&](const fs::path& p) {
         fs::copy_file(good, p);
         run_sql(p, "UPDATE commits SET hash = zeroblob(32)");
       },
       "does not match"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir_ / (std::string(c.name) + ".sqlite");
    c.make(file);
    const std::string before = read_all(file);
    auto s = Store::open(file);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().code, ErrorCode::Corrupt);
    EXPECT_NE(s.error().message.find(c.message), std::string::npos) << s.error().message;
    EXPECT_NE(s.error().message.find(file.string()), std::string::npos) << s.error().message;
    EXPECT_EQ(read_all(file), before);

    // Merging it is refused too and changes nothing here.
    Store mine = Store::in_memory();
    auto merged = mine.merge_file(file);
    ASSERT_FALSE(merged);
    EXPECT_TRUE(mine.doc().keys(root).empty());
    EXPECT_EQ(read_all(file), before);
  }
}

TEST_F(StoreTest, ASymlinkAtThePathIsNotFollowed) {
  const fs::path target = dir_ / "target.sqlite";
  { Store s = open_ok(target); }
  const std::string before = read_all(target);
  const fs::path link = dir_ / "doc.sqlite";
  fs::create_symlink(target, link);
  auto s = Store::open(link);
  ASSERT_FALSE(s);
  EXPECT_NE(s.error().message.find("not a regular file"), std::string::npos) << s.error().message;
  EXPECT_EQ(read_all(target), before);
}

TEST_F(StoreTest, InMemoryStoreSealsWithoutAFile) {
  Store s = Store::in_memory();
  EXPECT_EQ(s.watch_fd(), -1);
  EXPECT_FALSE(s.path());
  ASSERT_TRUE(s.doc().put(root, "k", true));
  auto hash = s.commit("in memory");
  ASSERT_TRUE(hash && *hash);
  EXPECT_EQ(s.doc().heads(), std::vector<ChangeHash>{**hash});
  EXPECT_EQ(s.refresh(), false);
}

TEST_F(StoreTest, MissingFileToMergeIsAnError) {
  Store s = Store::in_memory();
  auto r = s.merge_file(dir_ / "absent.sqlite");
  ASSERT_FALSE(r);
  EXPECT_FALSE(fs::exists(dir_ / "absent.sqlite"));
}

}  // namespace
}  // namespace kova::doc
