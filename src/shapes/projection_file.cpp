#include "projection_file.hpp"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "console.hpp"
#include "geokey_crs.hpp"
#include "proj_handles.hpp"

namespace tessaro {
namespace {

// The horizontal system of `crs`: the source of a bound system (one that
// carries a transformation to WGS 84) and the first part of a compound one,
// until a projected or two-dimensional geographic system is left; empty for
// any other kind.
ProjObject horizontal_part(PJ_CONTEXT* context, ProjObject crs) {
    // A WKT record may nest bound and compound systems; a handful of levels
    // covers every sensible one.
    constexpr int kMaxLevels = 4;
    for (int level = 0; crs && level < kMaxLevels; ++level) {
        switch (proj_get_type(crs.get())) {
            case PJ_TYPE_PROJECTED_CRS:
            case PJ_TYPE_GEOGRAPHIC_2D_CRS: return crs;
            case PJ_TYPE_BOUND_CRS: crs.reset(proj_get_source_crs(context, crs.get())); break;
            case PJ_TYPE_COMPOUND_CRS: crs.reset(proj_crs_get_sub_crs(context, crs.get(), 0)); break;
            default: return {};
        }
    }
    return {};
}

// `value` as a plain decimal that gives the same double back: digits and at
// most one point, never an exponent; integers end in ".0" as PROJ writes
// them.
std::string plain_decimal(double value) {
    // The shortest fixed form of any double takes at most some 330
    // characters (the smallest subnormal, DBL_MAX).
    std::string plain(400, '\0');
    const std::to_chars_result r =
        std::to_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::fixed);
    if (r.ec != std::errc()) return {};
    plain.resize(static_cast<std::size_t>(r.ptr - plain.data()));
    if (plain.find('.') == std::string::npos) plain += ".0";
    return plain;
}

// A bare value of the WKT text: a number PROJ wrote in plain decimals
// (kept as written), a number in exponent form, possibly with the ".0" PROJ
// appends to it (rewritten in plain decimals), or a word (kept). Empty when
// it is a number that is not finite.
std::optional<std::string> plain_value(std::string_view value) {
    bool plain = !value.empty();
    for (const char c : value)
        plain = plain && (std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-');
    if (plain) return std::string(value);
    std::string_view text = value;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double number = 0;
    const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), number);
    if (r.ec == std::errc::invalid_argument) return std::string(value);  // a word, not a number
    const std::string_view rest(r.ptr, static_cast<std::size_t>(text.data() + text.size() - r.ptr));
    if (r.ec != std::errc() || !std::isfinite(number) || !(rest.empty() || rest == ".0")) return std::nullopt;
    std::string decimal = plain_decimal(negative ? -number : number);
    if (decimal.empty()) return std::nullopt;
    return decimal;
}

// `wkt` with every number written in plain decimals, which every reader
// parses: PROJ writes small and large numbers in exponent form ("2E-05.0",
// "1E+20.0"), which some refuse. Empty when a number is not finite.
std::optional<std::string> with_plain_numbers(const std::string& wkt) {
    constexpr std::string_view kDelimiters = "\"[](),";
    std::string out;
    out.reserve(wkt.size());
    bool quoted = false;
    for (std::size_t at = 0; at < wkt.size();) {
        const char c = wkt[at];
        if (quoted || kDelimiters.find(c) != std::string_view::npos) {
            if (c == '"') quoted = !quoted;
            out += c;
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < wkt.size() && kDelimiters.find(wkt[end]) == std::string_view::npos) ++end;
        const std::string_view token(wkt.data() + at, end - at);
        // A keyword opens a node; a value stands alone.
        if (end < wkt.size() && (wkt[end] == '[' || wkt[end] == '(')) {
            out += token;
        } else {
            const std::optional<std::string> value = plain_value(token);
            if (!value) return std::nullopt;
            out += *value;
        }
        at = end;
    }
    return out;
}

// `wkt` with every control character written as a space. The names of a
// file's records may hold line ends or other control characters (a citation
// ending in a line feed, a WKT record's name with a carriage return), which
// PROJ copies into the names it writes; a .prj is one line of text that
// readers take line by line.
std::string on_one_line(std::string wkt) {
    for (char& c : wkt)
        if (std::iscntrl(static_cast<unsigned char>(c)) != 0) c = ' ';
    return wkt;
}

// The ESRI WKT of a system, or why there is none.
struct Written {
    std::string wkt;
    CrsFault fault = CrsFault::none;
};

// The ESRI WKT, in plain decimals, of the horizontal part of `crs`.
Written written(PJ_CONTEXT* context, ProjObject crs) {
    const ProjObject horizontal = horizontal_part(context, std::move(crs));
    if (!horizontal) return {{}, CrsFault::not_horizontal};
    if (!sound_crs_numbers(context, horizontal.get())) return {{}, CrsFault::unsound_number};
    // A WKT record may name a projection method PROJ does not know, which it
    // keeps by name only: no reader can compute such a system either.
    if (proj_get_type(horizontal.get()) == PJ_TYPE_PROJECTED_CRS) {
        const ProjObject conversion(proj_crs_get_coordoperation(context, horizontal.get()));
        if (!conversion || proj_coordoperation_is_instantiable(context, conversion.get()) == 0)
            return {{}, CrsFault::unknown_method};
    }
    const char* wkt = proj_as_wkt(context, horizontal.get(), PJ_WKT1_ESRI, nullptr);
    if (wkt == nullptr) return {{}, CrsFault::not_made};
    std::optional<std::string> plain = with_plain_numbers(wkt);
    if (!plain || plain->empty()) return {{}, CrsFault::unsound_number};
    return {on_one_line(std::move(*plain))};
}

// The system a file's records name: its WKT record first where the file
// says its system is that record (the WKT bit of its global encoding, or a
// point format of 6 and up), its GeoTIFF keys first otherwise, and the other
// record when the first cannot be written. When neither can, the fault of
// the one tried first (or of the only one there).
Written esri_wkt(PJ_CONTEXT* context, const CrsName& name) {
    const auto from_wkt = [&]() -> Written {
        if (name.wkt.empty()) return {};
        ProjObject crs(proj_create_from_wkt(context, name.wkt.c_str(), nullptr, nullptr, nullptr));
        return crs ? written(context, std::move(crs)) : Written{{}, CrsFault::unreadable_wkt};
    };
    const auto from_keys = [&]() -> Written {
        if (name.geokeys.empty()) return {};
        MadeCrs keys = geokey_crs(context, name);
        return keys.crs ? written(context, std::move(keys.crs)) : Written{{}, keys.fault};
    };
    Written first = name.wkt_first ? from_wkt() : from_keys();
    if (!first.wkt.empty()) return first;
    Written second = name.wkt_first ? from_keys() : from_wkt();
    if (!second.wkt.empty() || first.fault == CrsFault::none) return second;
    return first;
}

// PROJ reports what it cannot make through a context's log function, on
// standard error unless told otherwise; so does the context libgeotiff makes
// for itself, a copy of PROJ's default one. Both are told to keep quiet:
// such a name gives the one console line instead.
void discard_log(void*, int, const char*) {}

void keep_quiet(PJ_CONTEXT* context) {
    proj_log_func(context, nullptr, discard_log);
    proj_log_level(context, PJ_LOG_NONE);
}

const char* fault_reason(CrsFault fault) {
    switch (fault) {
        case CrsFault::none: break;
        case CrsFault::no_database: return "PROJ's database cannot be opened: see PROJ_DATA";
        case CrsFault::malformed_keys: return "its GeoTIFF keys are malformed";
        case CrsFault::incomplete_keys: return "its GeoTIFF keys are incomplete";
        case CrsFault::contradictory_keys: return "its GeoTIFF keys contradict each other";
        case CrsFault::unsound_number: return "a number of it is not finite or beyond any Earth model";
        case CrsFault::unknown_code: return "PROJ's database does not hold its code";
        case CrsFault::unknown_method: return "PROJ has no conversion for its projection method";
        case CrsFault::unreadable_wkt: return "PROJ cannot read its WKT record";
        case CrsFault::not_horizontal: return "it is neither projected nor two-dimensional geographic";
        case CrsFault::not_made: return "PROJ cannot make it";
    }
    return "";
}

}  // namespace

SurveyProjection survey_projection(const SurveyCrs& crs) {
    if (!crs.named_by_all || crs.names.empty()) return {};
    keep_quiet(PJ_DEFAULT_CTX);
    const ProjContext context(proj_context_create());
    if (!context) return {{}, CrsFault::not_made};
    keep_quiet(context.get());
    if (proj_context_get_database_path(context.get()) == nullptr) return {{}, CrsFault::no_database};
    // Records written differently may still name one system: they agree
    // when the same ESRI WKT is made of each.
    Written first = esri_wkt(context.get(), crs.names.front());
    if (first.fault != CrsFault::none) return {{}, first.fault};
    for (std::size_t k = 1; k < crs.names.size(); ++k) {
        const Written other = esri_wkt(context.get(), crs.names[k]);
        if (other.fault != CrsFault::none) return {{}, other.fault};
        if (other.wkt != first.wkt) return {};
    }
    return {std::move(first.wkt)};
}

std::string survey_projection_wkt(const SurveyCrs& crs) {
    SurveyProjection projection = survey_projection(crs);
    if (projection.fault != CrsFault::none)
        std::printf("\nThe files name a coordinate system that cannot be written as a .prj (%s): no .prj\n",
                    fault_reason(projection.fault));
    return std::move(projection.wkt);
}

void write_projection_file(const std::string& prjname, const std::string& wkt) {
    FilePtr prj = open_file(prjname.c_str(), "wb");
    if (!prj) fail("Unable to create: %s\n", prjname.c_str());
    if (std::fwrite(wkt.data(), 1, wkt.size(), prj.get()) != wkt.size())
        fail("Failed to write %s: %s\n", prjname.c_str(), std::strerror(errno));
    if (std::fclose(prj.release()) != 0)
        fail("Failed to write %s: %s\n", prjname.c_str(), std::strerror(errno));
}

void remove_projection_file(const std::string& prjname) {
    if (unlink(prjname.c_str()) != 0 && errno != ENOENT)
        fail("Failed to remove %s: %s\n", prjname.c_str(), std::strerror(errno));
}

}  // namespace tessaro
