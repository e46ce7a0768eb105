// The headless collector, run as a process against the fake site.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "collect/run_test_support.h"

extern char** environ;

namespace qm {
namespace {

using testing::questions;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3
                                        : lead >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::string lines(const std::vector<FakeQuestion>& qs) {
  std::string out;
  for (const FakeQuestion& q : qs) out += q.title + "\n";
  return out;
}

// One collector process with its standard output and error in files.
class Collector {
 public:
  explicit Collector(const std::vector<std::string>& args) {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("qm-cli-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir_);
    std::vector<std::string> argv_strings = {QM_COLLECT_CLI};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argv_strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    spawned_ = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Collector() {
    if (spawned_ && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // The exit status, or -1 when the process did not exit normally.
  int wait() {
    if (!spawned_) return -1;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void interrupt() { ::kill(pid_, SIGINT); }
  std::string out() const { return read_file(dir_ / "out"); }
  std::string err() const { return read_file(dir_ / "err"); }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  bool spawned_ = false;
  bool waited_ = false;
};

class CollectCliTest : public testing::SiteTest {};

TEST_F(CollectCliTest, WritesTitlesAsUtf8LinesAndTheCountOnStandardError) {
  const auto computers = questions("电脑", 23, 100);
  const std::vector<FakeQuestion> pythons = {
      {"Python", "51", "Python列表怎么排序", "sorted可以吗"},
      {"Python", "52", "读取大文件的办法", "python一次读进来就满了"},
      {"Python", "53", "字典遍历时删除元素", "在Python里会报错"},
  };
  const auto odd = questions("a&b #1", 2, 800);
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::string keyword;
    std::string out;
    std::string last_caption;
  };
  const std::vector<Case> cases = {
      {"all pages", {}, "电脑", lines(computers), "采集到模糊的问题 (23) 个"},
      {"one page", {"--max-pages", "1"}, "电脑", lines({computers.begin(), computers.begin() + 10}),
       "采集到模糊的问题 (10) 个"},
      {"exact", {"--exact"}, "Python", lines({pythons[0], pythons[2]}), "采集到精确的问题 (2) 个"},
      {"not exact", {}, "Python", lines(pythons), "采集到模糊的问题 (3) 个"},
      {"keyword with query characters", {"--"}, "a&b #1", lines(odd), "采集到模糊的问题 (2) 个"},
      {"no results", {}, "旅游", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serve(testing::concat(testing::concat(computers, pythons), odd));
    std::vector<std::string> args = {"--connect-to", site().route()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(c.keyword);
    Collector run(args);
    EXPECT_EQ(run.wait(), 0) << run.err();
    EXPECT_EQ(run.out(), c.out);
    const std::string err = run.err();
    if (c.last_caption.empty()) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_THAT(err, ::testing::EndsWith("\n" + c.last_caption + "\n"));
    }
    for (const FakeRequest& r : site().requests()) {
      if (r.path == "/search") {
        EXPECT_EQ(r.keyword, testing::G(c.keyword).str());
      }
    }
  }
}

TEST_F(CollectCliTest, UniqueDropsRepeatedTitles) {
  const auto corpus = questions("手机", 3, 40);
  FakeBehaviour behaviour;
  behaviour.ids_twice = {corpus[0].id};
  serve(corpus, behaviour);
  Collector plain({"--connect-to", site().route(), "手机"});
  EXPECT_EQ(plain.wait(), 0);
  EXPECT_EQ(plain.out(), lines({corpus[0], corpus[0], corpus[1], corpus[2]}));
  Collector unique({"--unique", "--connect-to", site().route(), "手机"});
  EXPECT_EQ(unique.wait(), 0);
  EXPECT_EQ(unique.out(), lines(corpus));
  // The count is the run's own: every listed title.
  EXPECT_THAT(unique.err(), ::testing::EndsWith("(4) 个\n"));
}

TEST_F(CollectCliTest, OutputGoesToTheNamedFile) {
  const auto corpus = questions("学习", 4, 70);
  serve(corpus);
  const auto file = std::filesystem::temp_directory_path() /
                    ("qm-cli-output-" + std::to_string(::getpid()) + ".txt");
  {
    std::ofstream old(file);
    old << "older content that is replaced\n";
  }
  Collector run({"--output", file.string(), "--connect-to", site().route(), "学习"});
  EXPECT_EQ(run.wait(), 0) << run.err();
  EXPECT_EQ(run.out(), "");
  EXPECT_EQ(read_file(file), lines(corpus));
  std::filesystem::remove(file);

  Collector unwritable({"--output", (run.dir() / "missing" / "x.txt").string(), "--connect-to",
                        site().route(), "学习"});
  EXPECT_EQ(unwritable.wait(), 1);
  EXPECT_THAT(unwritable.err(), ::testing::HasSubstr("cannot open"));
}

TEST_F(CollectCliTest, BadUsageExitsWithTwoBeforeAnyRequest) {
  serve(questions("电脑", 2, 10));
  const std::string route = site().route();
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, "no keyword"},
      {{"电脑", "手机"}, "only one keyword"},
      {{"--max-pages", "0", "电脑"}, "--max-pages"},
      {{"--max-pages", "two", "电脑"}, "--max-pages"},
      {{"--max-pages", "3x", "电脑"}, "--max-pages"},
      {{"电脑", "--max-pages"}, "needs a value"},
      {{"--connect-to", "wenda.pelquor.com:80", "电脑"}, "--connect-to"},
      {{"--connect-to", "wenda.pelquor.com:80:127.0.0.1:99999", "电脑"}, "--connect-to"},
      {{"--output", "", "电脑"}, "--output"},
      {{"--colour", "电脑"}, "unknown option"},
      {{"\xff\xfe"}, "UTF-8"},
      {{"\xF0\x9F\x98\x80"}, "GBK"},  // an emoji
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "] ";
    SCOPED_TRACE(shown);
    std::vector<std::string> args = c.args;
    if (args.empty() || args[0].rfind("--connect-to", 0) != 0) {
      args.insert(args.begin(), {"--connect-to", route});
    }
    Collector run(args);
    EXPECT_EQ(run.wait(), 2);
    EXPECT_THAT(run.err(), ::testing::HasSubstr(c.message));
    EXPECT_THAT(run.err(), ::testing::HasSubstr("usage:"));
    EXPECT_EQ(run.out(), "");
  }
  EXPECT_TRUE(site().requests().empty());
}

TEST_F(CollectCliTest, CtrlCEndsWith130KeepingTheTitlesWritten) {
  const auto corpus = questions("健康", 5, 90);
  FakeBehaviour behaviour;
  behaviour.quirks[corpus[2].id] = FakeQuirk::kSlow;
  behaviour.slow_delay = std::chrono::seconds(20);
  serve(corpus, behaviour);
  Collector run({"--connect-to", site().route(), "健康"});
  const std::string slow_path = "/question/" + corpus[2].id + ".html";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool waiting = false;
  while (!waiting && std::chrono::steady_clock::now() < deadline) {
    for (const FakeRequest& r : site().requests()) waiting = waiting || r.path == slow_path;
    if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(waiting);
  run.interrupt();
  EXPECT_EQ(run.wait(), 130);
  EXPECT_EQ(run.out(), lines({corpus[0], corpus[1]}));
}

// A hostile site through the program: the run ends with exit 0, and every
// title it could read is one UTF-8 line of the output.
TEST_F(CollectCliTest, HostileSiteStillGivesOneUtf8LinePerReadableTitle) {
  auto corpus = questions("电脑", 12, 600);
  corpus[3].title = "第一行\r\n第二行";
  std::string long_title = "电脑";
  for (int i = 0; i < (1 << 19); ++i) long_title += "题";
  corpus[4].title = long_title;
  FakeBehaviour behaviour;
  behaviour.hostile_questions = {{corpus[1].id, FakeHostile::kCutMidBody},
                                 {corpus[2].id, FakeHostile::kBadBytes},
                                 {corpus[5].id, FakeHostile::kRedirectLoop},
                                 {corpus[6].id, FakeHostile::kManyCookies}};
  behaviour.hostile_results = {{1, FakeHostile::kLongHeaders}};
  behaviour.extra_links = {"60 1", "601\r\nGET /injected HTTP/1.0", std::string(10000, '6')};
  serve(corpus, behaviour);
  Collector run({"--connect-to", site().route(), "电脑"});
  EXPECT_EQ(run.wait(), 0) << run.err();

  std::vector<std::string> expected;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    if (i == 5) continue;  // ten redirects, then nothing
    expected.push_back(i == 3 ? "第一行  第二行" : corpus[i].title);
  }
  std::vector<std::string> got;
  std::istringstream out(run.out());
  for (std::string line; std::getline(out, line);) got.push_back(line);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    // Bytes of the code page's odd corners (0x80, 0xFF) come out as valid
    // UTF-8 before the title.
    const std::string& line = got[i];
    EXPECT_TRUE(valid_utf8(line));
    if (i == 2) {
      ASSERT_GT(line.size(), expected[i].size());
      EXPECT_TRUE(line.ends_with(expected[i]));
      continue;
    }
    EXPECT_TRUE(line == expected[i]) << line.substr(0, 80);
  }
  EXPECT_THAT(run.err(), ::testing::EndsWith("(11) 个\n"));
  for (const FakeRequest& r : site().requests()) {
    EXPECT_EQ(r.path.find_first_of(" \r\n"), std::string::npos) << r.path.substr(0, 80);
  }
}

}  // namespace
}  // namespace qm
