// Helpers shared by the tests; see test_support.h.
#include "test_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qv_test {

temp_dir::temp_dir() {
  char tmpl[] = "/tmp/quorvid-test.XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

temp_dir::~temp_dir() {
  nftw(
      path_.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

cwd_guard::cwd_guard(const std::string& dir) {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) throw std::runtime_error("getcwd failed");
  old_ = buf;
  if (chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed: " + dir);
}

cwd_guard::~cwd_guard() {
  if (chdir(old_.c_str()) != 0) std::perror("chdir back");
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream f(path, std::ios::binary);
  for (std::string line; std::getline(f, line);) lines.push_back(line);
  return lines;
}

size_t count_lines(const std::string& path) { return read_lines(path).size(); }

std::vector<double> fields(const std::string& line) {
  std::vector<double> v;
  std::istringstream s(line);
  for (std::string word; s >> word;) v.push_back(std::strtod(word.c_str(), nullptr));
  return v;
}

namespace {
std::string right12(const std::string& text) { return std::string(text.size() < 12 ? 12 - text.size() : 0, ' ') + text; }
}  // namespace

std::string row(const std::string& freq, const std::string& a, const std::string& b) {
  return right12(freq) + " " + right12(a) + " " + right12(b) + " \n";
}

std::string row(const std::string& freq, const std::string& a) { return right12(freq) + " " + right12(a) + " \n"; }

std::string rows(const std::vector<std::vector<std::string>>& lines) {
  std::string text;
  for (const auto& l : lines) text += row(l[0], l[1], l[2]);
  return text;
}

run_result run_quorvid(const std::string& dir, const std::string& replies) {
  temp_dir io;
  const std::string in_path = io / "replies", out_path = io / "console";
  write_file(in_path, replies);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setsid();
    int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(dir.c_str()) != 0) _exit(125);
    dup2(in, 0);
    dup2(out, 1);
    execl(QUORVID_BINARY, "quorvid", static_cast<char*>(nullptr));
    _exit(126);
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
  }
  run_result r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.output = read_file(out_path);
  return r;
}

const std::string kDialogueAfterBanner =
    "\n This program calculates the cross spectrum of two time history files. \n"
    "\n The input files must have the same sample rate and record length. \n"
    "\n Each input file must be time(sec) and amplitude(units) "
    "\n The format is free, but no header lines allowed.\n"
    "\n"
    "\n Mean removal? 1=yes 2=no \n"
    "\n"
    "\n Window? 1=rectangular 2=Hanning \n";

const std::string kClosingSummary =
    "\n\n The format for the following output files is: "
    "\n  freq (Hz)  real amp(units)  imaginary amp(units)\n"
    "\n\n Two-sided complex output data written to: \n"
    "\n complex_spectrum_sab.out "
    "\n complex_spectrum_sba.out "
    "\n complex_spectrum_saa.out "
    "\n complex_spectrum_sbb.out "
    "\n\n One-sided complex output data written to: \n"
    "\n complex_spectrum_gab.out "
    "\n complex_spectrum_gba.out "
    "\n complex_spectrum_gaa.out "
    "\n complex_spectrum_gbb.out \n"
    "\n H1.out "
    "\n H2.out "
    "\n\n The format for the following output files is: "
    "\n  freq (Hz)  magnitude   phase(deg)\n"
    "\n H1_mp.out "
    "\n H2_mp.out "
    "\n\n Additional file: \n"
    "\n coherence.out \n"
    "\n\n Please call the output files into your own plotting program."
    "\n Press any key to exit.";

bool all_slots_closed(qv::workspace& ws) {
  for (int n = 1; n <= qv::kSlots; ++n) {
    if (ws.slot(n).is_open()) return false;
  }
  return true;
}

stage_env::stage_env(const std::string& replies)
    : owned(std::make_unique<qv::workspace>()), ws(*owned), con(replies, &transcript) {}

}  // namespace qv_test
