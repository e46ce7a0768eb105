// qirvomorvalin-fakesite: serves a corpus file as the fake site on loopback.
//   qirvomorvalin-fakesite [--port N] [--delay-ms N] CORPUS.tsv
// Prints "port N" on standard output once it answers, then serves until it
// is ended by a signal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fakesite/fake_site.h"

namespace {

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr,
               "qirvomorvalin-fakesite: %s\n"
               "usage: qirvomorvalin-fakesite [--port N] [--delay-ms N] CORPUS.tsv\n",
               why);
  std::exit(2);
}

int number(const char* text, int low, int high) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < low || value > high) usage("bad number");
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int delay_ms = 0;
  const char* corpus_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = number(argv[++i], 0, 65535);
    } else if (std::strcmp(argv[i], "--delay-ms") == 0 && i + 1 < argc) {
      delay_ms = number(argv[++i], 0, 60000);
    } else if (argv[i][0] == '-' || corpus_path) {
      usage("unexpected argument");
    } else {
      corpus_path = argv[i];
    }
  }
  if (!corpus_path) usage("no corpus file given");
  auto corpus = qm::fake_corpus_load(corpus_path);
  if (!corpus) {
    std::fprintf(stderr, "qirvomorvalin-fakesite: cannot read %s\n", corpus_path);
    return 1;
  }
  qm::FakeSite site(std::move(*corpus), port);
  if (site.port() == 0) {
    std::fprintf(stderr, "qirvomorvalin-fakesite: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  qm::FakeBehaviour behaviour;
  behaviour.question_delay = std::chrono::milliseconds(delay_ms);
  site.set_behaviour(behaviour);
  std::printf("port %d\n", site.port());
  std::fflush(stdout);
  site.wait();
  return 0;
}
