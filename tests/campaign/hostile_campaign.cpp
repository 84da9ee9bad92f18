// hostile_campaign: runs tessaro (normally the sanitizer build) on thousands
// of deterministic mutants of valid surveys, and tessaro_unbounded on those
// of LAZ surveys, and requires of every run: exit status 0 or 255; a message
// on 255; no sanitizer report, no other output on standard error, no signal,
// no hang; input files unchanged and nothing written but tile and tile-index
// files under the tile prefix, no unfinished tile (.part) among them, and in
// a LAZ run that ends with 255 no tile at all; and for every status 0 the
// conservation check of the tiles. Prints the figures of the campaign and
// every violation, and exits 1 when there was one.
//
// Usage: hostile_campaign [--tessaro PATH] [--unbounded PATH] [--seed N]
//                         [--mutants N] [--first N] [--jobs N] [--timeout S]
//                         [--workdir DIR] [--keep DIR] [--only INDEX] [--memory MB]
//
// --memory MB (default 512, 0 for none) limits the memory of every run, and
// --file-limit MB (default 64, 0 for none) the size of every file it writes.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "conservation.hpp"
#include "mutants.hpp"
#include "run_binary.hpp"

namespace fs = std::filesystem;
using namespace tessaro::campaign;

#if defined(__SANITIZE_ADDRESS__)
// The conservation checks of LAZ runs set up the codec for every chunk they
// decode, as the runs do (see prepare_environment): the campaign's own
// quarantine of freed memory is as small as theirs.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif

namespace {

struct Options {
    std::string tessaro = TESSARO_BIN;
    std::string unbounded = TESSARO_UNBOUNDED_BIN;
    std::uint64_t seed = 1;
    std::uint64_t mutants = 1000;
    std::uint64_t first = 0;
    unsigned jobs = 2;
    int timeout = 10;
    std::string workdir;
    std::string keep;
    bool only = false;
    std::uint64_t only_index = 0;
    std::uint64_t memory_mb = 512;
    std::uint64_t file_mb = 64;
    std::string laz_asan_options;  // ASAN_OPTIONS of the runs of LAZ mutants
};

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr,
                 "hostile_campaign: %s\n"
                 "Usage: hostile_campaign [--tessaro PATH] [--unbounded PATH] [--seed N] [--mutants N]\n"
                 "                        [--first N] [--jobs N] [--timeout S] [--workdir DIR] [--keep DIR]\n"
                 "                        [--only INDEX] [--memory MB] [--file-limit MB]\n",
                 message.c_str());
    std::exit(2);
}

std::uint64_t parse_count(const std::string& word) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0') usage_error("not a number: " + word);
    return v;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        auto value = [&]() -> std::string {
            if (k + 1 >= argc) usage_error(a + " needs a value");
            return argv[++k];
        };
        if (a == "--tessaro")
            o.tessaro = value();
        else if (a == "--unbounded")
            o.unbounded = value();
        else if (a == "--seed")
            o.seed = parse_count(value());
        else if (a == "--mutants")
            o.mutants = parse_count(value());
        else if (a == "--first")
            o.first = parse_count(value());
        else if (a == "--jobs")
            o.jobs = static_cast<unsigned>(std::max<std::uint64_t>(1, parse_count(value())));
        else if (a == "--timeout")
            o.timeout = static_cast<int>(parse_count(value()));
        else if (a == "--workdir")
            o.workdir = value();
        else if (a == "--keep")
            o.keep = value();
        else if (a == "--only")
            o.only = true, o.only_index = parse_count(value());
        else if (a == "--memory")
            o.memory_mb = parse_count(value());
        else if (a == "--file-limit")
            o.file_mb = parse_count(value());
        else
            usage_error("unknown option " + a);
    }
    // Runs start in their own directories.
    o.tessaro = fs::absolute(o.tessaro).string();
    o.unbounded = fs::absolute(o.unbounded).string();
    if (!o.keep.empty()) o.keep = fs::absolute(o.keep).string();
    return o;
}

// Whether the tessaro binary is built with AddressSanitizer.
bool sanitized(const std::string& program) {
    std::ifstream in(program, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return image.find("__asan_init") != std::string::npos;
}

// Sanitizer settings of the runs: reports are fatal and visible, an
// allocation the allocator cannot serve fails as it would without the
// sanitizer where it can (malloc), and every run gets the memory limit.
// Mutants with far-apart bounds make grids of millions of tiles whose tables
// alone take gigabytes; the limit stands for a machine of that size and
// keeps two such runs from starving the others.
// A LAZ run sets up a codec of many small tables for every chunk it reads or
// writes: with the default quarantine of freed memory every one of them
// lands on fresh pages, which doubles the time of the run. Its quarantine
// is 16 MB, still hundreds of codecs' worth of freed memory.
void prepare_environment(Options& opt) {
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    if (asan.find("allocator_may_return_null") == std::string::npos)
        asan += std::string(asan.empty() ? "" : ":") + "allocator_may_return_null=1";
    if (opt.memory_mb != 0 && asan.find("soft_rss_limit_mb") == std::string::npos)
        asan += ":soft_rss_limit_mb=" + std::to_string(opt.memory_mb);
    if (asan.find("detect_leaks") == std::string::npos) asan += ":detect_leaks=1";
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    opt.laz_asan_options = asan;
    if (asan.find("quarantine_size_mb") == std::string::npos)
        opt.laz_asan_options += ":quarantine_size_mb=16";
    if (!std::getenv("UBSAN_OPTIONS")) setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 1);
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
        s.replace(p, from.size(), to);
    return s;
}

std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
    return bytes;
}

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Creates the entries of a mutant in `dir`, with "{dir}" replaced by it.
void lay_out(const Mutant& m, const std::string& dir) {
    for (const Entry& e : m.entries) {
        const std::string path = dir + "/" + e.path;
        switch (e.kind) {
            case EntryKind::Directory: fs::create_directories(path); break;
            case EntryKind::Fifo:
                if (mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path);
                break;
            case EntryKind::Symlink:
                if (symlink(replace_all(e.target, "{dir}", dir).c_str(), path.c_str()) != 0)
                    throw std::runtime_error("symlink " + path);
                break;
            case EntryKind::Regular: {
                std::vector<unsigned char> bytes = e.bytes;
                if (e.path == m.list_file) {
                    const std::string text(bytes.begin(), bytes.end());
                    const std::string t = replace_all(text, "{dir}", dir);
                    bytes.assign(t.begin(), t.end());
                }
                write_bytes(path, bytes);
                break;
            }
        }
    }
}

// "prefix + R<digits>C<digits>" and the extension of a tile: .las, .laz, or
// .laz.part for a LAZ tile being written.
bool is_tile_name(const std::string& rest) {
    std::size_t k = 0;
    auto digits = [&]() {
        const std::size_t start = k;
        while (k < rest.size() && rest[k] >= '0' && rest[k] <= '9') ++k;
        return k > start;
    };
    if (k >= rest.size() || rest[k++] != 'R' || !digits()) return false;
    if (k >= rest.size() || rest[k++] != 'C' || !digits()) return false;
    const std::string extension = rest.substr(k);
    return extension == ".las" || extension == ".laz" || extension == ".laz.part";
}

// A tile or a tile-index file of the prefix.
bool is_output_name(const std::string& rest) {
    static const char* const index_files[] = {
        "_Tiles.shp",          "_Tiles.shx",          "_Tiles.dbf",
        "_Tiles.prj",          "_Tiles_w_buffer.shp", "_Tiles_w_buffer.shx",
        "_Tiles_w_buffer.dbf", "_Tiles_w_buffer.prj", "_TileCoords.dbf"};
    for (const char* f : index_files)
        if (rest == f) return true;
    return is_tile_name(rest);
}

struct Outcome {
    std::string status;  // "0", "255", "signal 6", "timeout", ...
    std::uint64_t records = 0;
    std::uint64_t copies = 0;
    std::uint64_t tiles = 0;
    bool verified = false;
    std::vector<std::string> problems;
    tessaro::test::RunResult run;
    std::string conservation;
    double seconds = 0.0;  // wall time of the run
};

std::string tail(const std::string& s, std::size_t n) {
    return s.size() <= n ? s : "..." + s.substr(s.size() - n);
}

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1)) ++n;
    return n;
}

// Under AddressSanitizer, operator new cannot fail with std::bad_alloc: an
// allocation past the memory limit ends the run with the sanitizer's own
// out-of-memory report. Only exactly that report, after the limit was
// reached, counts as the memory limit rather than as a fault.
// So does a run whose allocations, once the limit was reached, returned
// nothing and which then ended with status 255 and its own message.
bool sanitizer_out_of_memory(const tessaro::test::RunResult& r) {
    if (r.errors.find("soft rss limit exhausted") == std::string::npos ||
        r.errors.find("runtime error") != std::string::npos)
        return false;
    const std::size_t reports = occurrences(r.errors, "ERROR: AddressSanitizer: ");
    if (reports == 1)
        return r.errors.find("ERROR: AddressSanitizer: allocator is out of memory") != std::string::npos;
    return reports == 0 && r.signal == 0 && r.status == 255 && !r.output.empty();
}

// Everything a run must satisfy.
Outcome judge(const Mutant& m, const std::string& dir, const tessaro::test::RunResult& r) {
    Outcome o;
    o.run = r;
    const bool timed_out = r.errors.find("[timed out]") != std::string::npos;
    if (timed_out)
        o.status = "timeout";
    else if (r.signal != 0)
        o.status = "signal " + std::to_string(r.signal);
    else
        o.status = std::to_string(r.status);

    if (sanitizer_out_of_memory(r)) {
        o.status = "memory limit";
    } else {
        if (timed_out) o.problems.emplace_back("no end within the time limit");
        if (r.signal != 0) o.problems.emplace_back("ended by signal " + std::to_string(r.signal));
        for (const char* mark :
             {"runtime error", "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer"})
            if (r.errors.find(mark) != std::string::npos)
                o.problems.emplace_back(std::string("sanitizer report (") + mark + ")");
        if (!r.errors.empty() && !timed_out) o.problems.emplace_back("output on standard error");
        if (!timed_out && r.signal == 0 && r.status != 0 && r.status != 255)
            o.problems.emplace_back("exit status " + std::to_string(r.status));
    }

    const std::string banner = tessaro::test::banner();
    const std::string after = r.output.rfind(banner, 0) == 0 ? r.output.substr(banner.size()) : r.output;
    const bool completed = r.output.find("\nElapsed time ") != std::string::npos;
    if (r.status == 255) {
        if (after.find_first_not_of(" \t\r\n") == std::string::npos)
            o.problems.emplace_back("status 255 without a message");
        if (completed) o.problems.emplace_back("status 255 after the elapsed-time line");
    }

    // Inputs unchanged, and nothing written but outputs under the prefix.
    for (const Entry& e : m.entries) {
        if (e.kind != EntryKind::Regular) continue;
        std::vector<unsigned char> want = e.bytes;
        if (e.path == m.list_file) {
            const std::string t = replace_all(std::string(want.begin(), want.end()), "{dir}", dir);
            want.assign(t.begin(), t.end());
        }
        if (read_bytes(dir + "/" + e.path) != want)
            o.problems.emplace_back("input " + e.path + " was changed");
    }
    const std::string prefix = replace_all(m.tile_prefix, "{dir}", dir);
    const std::string full =
        fs::path(prefix.rfind('/', 0) == 0 ? prefix : dir + "/" + prefix).lexically_normal().string();
    std::vector<std::string> known;
    for (const Entry& e : m.entries)
        known.push_back(fs::path(dir + "/" + e.path).lexically_normal().string());
    std::error_code ec;
    bool unexpected = false, unfinished = false, left = false;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string p = it->path().lexically_normal().string();
        if (std::find(known.begin(), known.end(), p) != known.end()) continue;
        const std::string rest = p.rfind(full, 0) == 0 ? p.substr(full.size()) : std::string();
        const std::string name = p.substr(dir.size() + 1);
        if (!is_output_name(rest)) {
            if (!std::exchange(unexpected, true)) o.problems.emplace_back("unexpected file " + name);
            continue;
        }
        // A run that ends by itself leaves no tile being written (.part),
        // and a LAZ run that fails removes the tiles it wrote.
        if (timed_out || r.signal != 0) continue;
        if (rest.ends_with(".part") && !std::exchange(unfinished, true))
            o.problems.emplace_back("unfinished tile " + name);
        if (m.unbounded && r.status == 255 && is_tile_name(rest) && !std::exchange(left, true))
            o.problems.emplace_back("status 255, but tile " + name + " is left");
    }

    if (r.status == 0 && r.signal == 0 && !timed_out) {
        if (!completed) o.problems.emplace_back("status 0 without the elapsed-time line");
        if (m.shapes) {
            std::vector<std::string> index{"_Tiles.shp", "_Tiles.shx", "_Tiles.dbf", "_TileCoords.dbf"};
            if (m.buffer > 0)
                index.insert(index.end(),
                             {"_Tiles_w_buffer.shp", "_Tiles_w_buffer.shx", "_Tiles_w_buffer.dbf"});
            for (const auto& f : index)
                if (!fs::is_regular_file(full + f)) {
                    std::string problem = "status 0 with -s, but no ";
                    problem += prefix;
                    problem += f;
                    o.problems.push_back(problem);
                }
        }
        tessaro::verify::ConservationRequest rq;
        rq.list_file = m.list_file;
        rq.tile_prefix = prefix;
        rq.tile_size = std::atof(number_word(m.tile_size).c_str());
        rq.buffer = m.buffer;
        rq.snap = m.snap;
        rq.resolution = std::atof(number_word(m.resolution).c_str());
        rq.directory = dir;
        rq.unbounded = m.unbounded;
        const tessaro::verify::ConservationReport c = tessaro::verify::check_conservation(rq);
        o.conservation = c.message;
        if (!c.ok)
            o.problems.emplace_back("conservation: " + c.message);
        else if (c.refusal_expected)
            o.problems.emplace_back("status 0, but the span check must refuse: " + c.message);
        else {
            o.verified = true;
            o.records = c.records;
            o.copies = c.copies;
            o.tiles = c.tiles;
        }
    }
    return o;
}

std::string describe(const Mutant& m, const Outcome& o) {
    std::ostringstream s;
    s << "mutant " << m.index << " [" << m.family << "] " << m.detail << "\n  "
      << (m.unbounded ? "tessaro_unbounded" : "tessaro");
    for (const auto& a : m.args) s << " '" << tail(a, 60) << "'";
    s << "\n  status " << o.status << "\n";
    for (const auto& p : o.problems) s << "  problem: " << p << "\n";
    s << "  stdout: " << tail(o.run.output, 600) << "\n";
    if (!o.run.errors.empty()) s << "  stderr: " << tail(o.run.errors, 2000) << "\n";
    return s.str();
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (s[k] == '\\' && k + 1 < s.size()) {
            const char n = s[++k];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n;
        } else {
            out += s[k];
        }
    }
    return out;
}

void remove_tree(const std::string& dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// Copies a run directory with its links and FIFOs as they are.
void copy_tree(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::create_directories(to, ec);
    for (auto it = fs::recursive_directory_iterator(from, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path target = fs::path(to) / fs::relative(it->path(), from);
        std::error_code e2;
        const fs::file_status st = it->symlink_status(e2);
        if (fs::is_symlink(st))
            fs::copy_symlink(it->path(), target, e2);
        else if (fs::is_directory(st))
            fs::create_directories(target, e2);
        else if (fs::is_fifo(st))
            mkfifo(target.c_str(), 0644);
        else if (fs::is_regular_file(st))
            fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, e2);
    }
}

// Runs one mutant in a fresh directory; returns its outcome.
Outcome run_mutant(const Options& opt, const Mutant& m, const std::string& dir) {
    remove_tree(dir);
    fs::create_directories(dir);
    lay_out(m, dir);
    std::vector<std::string> args;
    for (const auto& a : m.args) args.push_back(replace_all(a, "{dir}", dir));
    const auto start = std::chrono::steady_clock::now();
    tessaro::test::RunHooks hooks;
    if (m.unbounded) hooks.before_exec = [&opt] { setenv("ASAN_OPTIONS", opt.laz_asan_options.c_str(), 1); };
    const tessaro::test::RunResult r =
        tessaro::test::run_program(m.unbounded ? opt.unbounded : opt.tessaro, args, dir, opt.timeout, hooks);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    Outcome o = judge(m, dir, r);
    o.seconds = took.count();
    if (!o.problems.empty() && !opt.keep.empty()) {
        const std::string kept = opt.keep + "/mutant_" + std::to_string(m.index);
        remove_tree(kept);
        fs::create_directories(opt.keep);
        std::error_code ec;
        fs::rename(dir, kept, ec);
        if (ec) copy_tree(dir, kept);  // another file system
    }
    return o;
}

// Without the sanitizer, the memory limit is a limit of the address space,
// set in the worker and so inherited by every run it starts; an allocation
// past it fails with std::bad_alloc in tessaro. (A sanitized worker needs
// its huge shadow mappings, and a sanitized tessaro has its own limit.)
void limit_address_space(const Options& opt) {
#if !defined(__SANITIZE_ADDRESS__)
    if (opt.memory_mb == 0 || sanitized(opt.tessaro)) return;
    const rlim_t bytes = static_cast<rlim_t>(opt.memory_mb) << 20;
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::perror("hostile_campaign: setrlimit");
#else
    (void)opt;
#endif
}

// The file size limit: a grid of millions of tiles (bounds moved far off
// their points) makes tile indexes of hundreds of megabytes with -s. Runs
// stop at the limit like at a full disk, with EFBIG (SIGXFSZ is ignored,
// and stays ignored across exec).
void limit_file_size(const Options& opt) {
    if (opt.file_mb == 0) return;
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t bytes = static_cast<rlim_t>(opt.file_mb) << 20;
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::perror("hostile_campaign: setrlimit");
}

// One worker: the mutants first + k with k = worker (mod jobs). Writes one
// line per mutant to `results`.
void work(const Options& opt, const std::vector<BaseSurvey>& bases, unsigned worker, const std::string& root,
          const std::string& results) {
    limit_address_space(opt);
    limit_file_size(opt);
    std::ofstream out(results);
    const std::string dir = root + "/run_" + std::to_string(worker);
    for (std::uint64_t k = worker; k < opt.mutants; k += opt.jobs) {
        const Mutant m = make_mutant(bases, opt.seed, opt.first + k);
        Outcome o;
        try {
            o = run_mutant(opt, m, dir);
        } catch (const std::exception& e) {
            o.status = "harness";
            o.problems.emplace_back(std::string("campaign harness failed: ") + e.what());
        }
        out << "M\t" << m.index << '\t' << m.family << '\t' << o.status << '\t' << o.verified << '\t'
            << o.records << '\t' << o.copies << '\t' << o.tiles << '\t' << o.seconds << '\n';
        if (!o.problems.empty()) out << "F\t" << escape(describe(m, o)) << '\n';
        out.flush();
    }
    remove_tree(dir);
}

struct Figures {
    std::uint64_t run = 0;
    std::map<std::string, std::uint64_t> statuses;
    std::map<std::string, std::map<std::string, std::uint64_t>> by_family;
    std::uint64_t verified = 0, records = 0, copies = 0, tiles = 0;
    std::vector<std::string> failures;
    double slowest = 0.0;
    std::string slowest_index;
};

void read_results(const std::string& path, Figures& f) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream s(line);
        std::string c;
        while (std::getline(s, c, '\t')) cols.push_back(c);
        if (cols.size() == 9 && cols[0] == "M") {
            const double seconds = std::stod(cols[8]);
            if (seconds > f.slowest) {
                f.slowest = seconds;
                f.slowest_index = cols[1];
            }
            ++f.run;
            ++f.statuses[cols[3]];
            ++f.by_family[cols[2]][cols[3]];
            if (cols[4] == "1") ++f.verified;
            f.records += std::stoull(cols[5]);
            f.copies += std::stoull(cols[6]);
            f.tiles += std::stoull(cols[7]);
        } else if (cols.size() == 2 && cols[0] == "F") {
            f.failures.push_back(unescape(cols[1]));
        }
    }
}

std::string make_root(const Options& opt) {
    std::string base = opt.workdir;
    if (base.empty()) {
        struct stat st;
        base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0
                   ? "/dev/shm"
                   : fs::temp_directory_path().string();
    }
    std::string pattern = base + "/tessaro-campaign-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a directory in " + base);
    return pattern;
}

int run_only(const Options& opt, const std::vector<BaseSurvey>& bases, const std::string& root) {
    limit_address_space(opt);
    limit_file_size(opt);
    const Mutant m = make_mutant(bases, opt.seed, opt.only_index);
    const std::string dir =
        opt.keep.empty() ? root + "/only" : opt.keep + "/mutant_" + std::to_string(m.index);
    Options o2 = opt;
    o2.keep.clear();
    const Outcome o = run_mutant(o2, m, dir);
    std::printf("%s", describe(m, o).c_str());
    std::printf("--- full stdout ---\n%s\n", o.run.output.c_str());
    if (!o.conservation.empty()) std::printf("conservation: %s\n", o.conservation.c_str());
    std::printf("run directory: %s\n", opt.keep.empty() ? "(removed)" : dir.c_str());
    if (opt.keep.empty()) remove_tree(dir);
    return o.problems.empty() ? 0 : 1;
}

}  // namespace

namespace {

int campaign_main(int argc, char** argv) {
    Options opt = parse_options(argc, argv);
    if (access(opt.tessaro.c_str(), X_OK) != 0) usage_error("cannot run " + opt.tessaro);
    if (access(opt.unbounded.c_str(), X_OK) != 0) usage_error("cannot run " + opt.unbounded);
    prepare_environment(opt);
    std::string root;
    std::vector<BaseSurvey> bases;
    try {
        root = make_root(opt);
        bases = make_base_surveys(root + "/bases");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hostile_campaign: %s\n", e.what());
        return 2;
    }
    if (opt.only) {
        const int rc = run_only(opt, bases, root);
        remove_tree(root);
        return rc;
    }
    std::printf(
        "hostile campaign: seed %llu, mutants %llu to %llu, %u jobs, time limit %d s, memory limit %llu MB, "
        "file size limit %llu MB\n"
        "  tessaro %s (%s)\n  tessaro_unbounded %s\n",
        static_cast<unsigned long long>(opt.seed), static_cast<unsigned long long>(opt.first),
        static_cast<unsigned long long>(opt.first + opt.mutants - 1), opt.jobs, opt.timeout,
        static_cast<unsigned long long>(opt.memory_mb), static_cast<unsigned long long>(opt.file_mb),
        opt.tessaro.c_str(), sanitized(opt.tessaro) ? "with AddressSanitizer" : "without sanitizer",
        opt.unbounded.c_str());
    std::fflush(stdout);

    std::vector<pid_t> workers;
    for (unsigned w = 0; w < opt.jobs; ++w) {
        const pid_t pid = fork();
        if (pid < 0) {
            std::perror("fork");
            return 2;
        }
        if (pid == 0) {
            int rc = 0;
            try {
                work(opt, bases, w, root, root + "/results_" + std::to_string(w));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "hostile_campaign worker %u: %s\n", w, e.what());
                rc = 2;
            }
            std::fflush(nullptr);
            _exit(rc);
        }
        workers.push_back(pid);
    }
    bool workers_ok = true;
    for (pid_t pid : workers) {
        int ws = 0;
        waitpid(pid, &ws, 0);
        if (!WIFEXITED(ws) || WEXITSTATUS(ws) != 0) workers_ok = false;
    }
    Figures f;
    for (unsigned w = 0; w < opt.jobs; ++w) read_results(root + "/results_" + std::to_string(w), f);
    remove_tree(root);

    std::printf("mutants run: %llu\n", static_cast<unsigned long long>(f.run));
    std::printf("statuses seen:");
    for (const auto& [s, n] : f.statuses)
        std::printf(" %s: %llu,", s.c_str(), static_cast<unsigned long long>(n));
    std::printf("\nby family:\n");
    for (const auto& [fam, st] : f.by_family) {
        std::printf("  %-15s", fam.c_str());
        for (const auto& [s, n] : st) std::printf(" %s: %llu", s.c_str(), static_cast<unsigned long long>(n));
        std::printf("\n");
    }
    std::printf(
        "records checked: %llu input records and %llu buffer copies in %llu tiles, over %llu runs with "
        "status 0\n",
        static_cast<unsigned long long>(f.records), static_cast<unsigned long long>(f.copies),
        static_cast<unsigned long long>(f.tiles), static_cast<unsigned long long>(f.verified));
    std::printf("slowest run: %.1f s (mutant %s)\n", f.slowest, f.slowest_index.c_str());
    std::printf("violations: %zu\n", f.failures.size());
    for (const auto& fail : f.failures) std::printf("\n%s", fail.c_str());
    if (!f.failures.empty())
        std::printf("\nRepeat one with: hostile_campaign --seed %llu --only INDEX --keep DIR\n",
                    static_cast<unsigned long long>(opt.seed));
    const bool ok = workers_ok && f.failures.empty() && f.run == opt.mutants;
    if (f.run != opt.mutants)
        std::printf("only %llu of %llu mutants ran\n", static_cast<unsigned long long>(f.run),
                    static_cast<unsigned long long>(opt.mutants));
    return ok ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    try {
        return campaign_main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hostile_campaign: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "hostile_campaign: unexpected failure\n");
    }
    return 2;
}
