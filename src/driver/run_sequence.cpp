#include "run_sequence.hpp"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "command_line.hpp"
#include "console.hpp"
#include "corner_table.hpp"
#include "distribution.hpp"
#include "input_guard.hpp"
#include "lidar.hpp"
#include "list_survey.hpp"
#include "projection_file.hpp"
#include "span_check.hpp"
#include "tile_grid.hpp"
#include "tile_headers.hpp"
#include "tile_index.hpp"
#include "tile_table.hpp"

namespace tessaro {
namespace {

// Wall clock in milliseconds, read as a 32-bit signed tick count.
std::int32_t clock_ticks() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

// The tile index with "-s": outlines (buffered set first), each with the
// survey's coordinate system when its files name one, then corners.
void write_tile_index(const std::string& TilePrefix, double TileSize, const Tile& pTile, double Tile_Buffer,
                      bool buffered, const SurveyCrs& crs) {
    std::printf("\rSaving tile extent to shapefile ...\n");
    const std::string projection = survey_projection_wkt(crs);
    if (buffered) tiles_to_shapefile(TilePrefix, "_w_buffer", TileSize, pTile, Tile_Buffer, projection);
    tiles_to_shapefile(TilePrefix, "", TileSize, pTile, 0.0, projection);
    std::printf("Saving tile corner coordinates to shapefile ...\n");
    const std::string filename = TilePrefix + "_TileCoords.dbf";
    createCoordinateDBF(filename);
    addtoCoordinateDBF(filename, pTile, TileSize);
}

}  // namespace

int run(int argc, char** argv, const RunRules& rules) {
    Flags FlagInit;
    const std::uint16_t nFlags = Find_Flag_Args(argc, argv, FlagInit);
    if (argc == 1) {
        credits();
        usage();
        std::exit(-1);
    }
    if (argc != nFlags + 4) {
        credits();
        std::printf("\nMissing, or excessive number of, arguments\n");
        usage();
        std::exit(-1);
    }
    credits();
    const std::int32_t startTime = clock_ticks();
    check_Flag_Args(argc, argv, FlagInit);

    double resolution = 0.0;
    if (FlagInit.r_cnt == 1) {
        check_precision(argv[FlagInit.r_pos + 1], "resolution");
        resolution = std::atof(argv[FlagInit.r_pos + 1]);
    }
    double Tile_Buffer = 0.0;
    if (FlagInit.b_cnt == 1) {
        check_precision(argv[FlagInit.b_pos + 1], "buffer");
        Tile_Buffer = std::atof(argv[FlagInit.b_pos + 1]);
    }

    const std::string ASCIIfile = argv[1];
    const std::string TilePrefix = argv[2];
    check_nonzero_argument(argv[3]);
    const double TileSize = std::atof(argv[3]);
    if (TileSize < 0.1) {
        std::printf("\nTile Size is too small %s\n", argv[3]);
        usage();
        std::exit(-1);
    }
    if (Tile_Buffer > 0.5 * TileSize) fail_line("\nTile buffer should be less than half the TileSize");

    // The survey of the list file. The list is read once, by the count
    // pass, into the survey of names that every later pass works from; it
    // must be a regular file, since a FIFO would block the open.
    struct stat list_stat;
    if (stat(ASCIIfile.c_str(), &list_stat) == 0 && !S_ISREG(list_stat.st_mode))
        fail("\nCannot open ASCII file %s for reading\n", ASCIIfile.c_str());
    FilePtr list = open_file(ASCIIfile.c_str(), "r");
    if (!list) fail("\nCannot open ASCII file %s for reading\n", ASCIIfile.c_str());
    ListedSurvey survey;
    count_pass(list.get(), ASCIIfile.c_str(), survey);
    list.reset();
    const LasKind kind = validation_pass(survey, ASCIIfile.c_str(), rules.any_version);
    std::printf("- - - - - - - - - - - - - - - - - -\n\n");
    check_scale_and_offset_consistency(survey, rules.any_version);
    std::printf("All files in %s have consistent point location scale and offset\n\n", ASCIIfile.c_str());
    LAS12Header ph12output{};
    // The tile index names the survey's coordinate system; the extent pass
    // reads it from each file's variable-length records.
    SurveyCrs crs;
    const std::uint64_t total =
        check_output_header(survey, ph12output, !rules.any_version, FlagInit.s_cnt == 1 ? &crs : nullptr);
    print_data_summary(ph12output, total);

    // The grid, the tile names and the tables.
    const Tile pTile =
        lay_tile_grid(ph12output.MinX, ph12output.MinY, ph12output.MaxX, ph12output.MaxY, TileSize,
                      FlagInit.r_cnt == 1, resolution, FlagInit.b_cnt == 1, Tile_Buffer);
    print_tiling_information(pTile);
    // The outline sets describe every tile of the grid, so their sizes are
    // known now: a set too large for its format is refused before any tile.
    if (FlagInit.s_cnt == 1) check_tile_index_size(TilePrefix, pTile, FlagInit.b_cnt == 1);
    // Names, statistics and streams exist only for the tiles the run
    // touches, each made when first needed.
    const int bufsize = digit_width(pTile);
    initializeTileStructure(pTile.Rows, pTile.Cols);

    std::printf("\nTiles per laser file ...\n");
    check_number_tiles_per_las(survey, TileSize, pTile, Tile_Buffer, rules.max_tiles_per_file);
    std::printf("\n");
    DistributionSetup setup;
    setup.TileSize = TileSize;
    setup.Tile_Buffer = Tile_Buffer;
    setup.pTile = pTile;
    setup.TilePrefix = TilePrefix;
    setup.bufsize = bufsize;
    setup.kind = kind;
    setup.survey = &survey;
    OutputDirectory output = refuse_tiles_over_inputs(survey, TilePrefix, pTile, bufsize, kind.extension());
    setup.inputs = std::move(output.inputs);
    setup.present_tiles = std::move(output.present_tiles);
    setup.listed_directory = output.listed;

    // The LAZ codec's workers, one a processor, for the chunks of a LAZ run.
    CodecPool pool;
    if (kind.compressed) start_codec_pool(pool, available_processors());
    setup.pool = &pool;

    LAS12Header ph12{};
    distribute_points(setup, ph12);

    finalize_tile_headers(TilePrefix, bufsize, ph12, survey, kind, kind.compressed ? &pool : nullptr,
                          setup.inputs);
    std::printf("\r%78s", "");
    if (FlagInit.s_cnt == 1)
        write_tile_index(TilePrefix, TileSize, pTile, Tile_Buffer, FlagInit.b_cnt == 1, crs);

    const std::int32_t endTime = clock_ticks();
    const double elapsed = static_cast<double>(static_cast<std::int32_t>(
                               static_cast<std::uint32_t>(endTime) - static_cast<std::uint32_t>(startTime))) *
                           1000 / 1000 / 1000;
    std::printf("\nElapsed time %.3f seconds\n", elapsed);
    if (std::fflush(stdout) != 0) return -1;
    return 0;
}

}  // namespace tessaro
