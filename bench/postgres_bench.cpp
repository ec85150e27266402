// A run on a PostGIS table against the least a bulk client must do. Loads
// the basins into the table "Watershed" of the schema drennow_bench (a
// primary key ogc_fid, a polygon column geom, PfafstetterID, HydroID and an
// empty NextDownID), then, round after round, times the bulk baseline and
// `drennow --batch --populate id` on it, emptying NextDownID between runs.
// The baseline, in one transaction: COPY (fid, PfafstetterID, HydroID) out,
// COPY (fid, value) into a temporary table, one UPDATE ... FROM, commit;
// what it writes is a stand-in: the feature's own HydroID. Each figure is
// the median of its rounds; the last line is "ratio <run/baseline>".
//
// --shape basins gives each feature a polygon of 160 vertices (about 2.6 KB),
// --shape squares a unit square. --codes 64 makes twelve-digit codes and
// ten-digit identifiers in 64-bit columns (`drennow --int64 --zeros
// unsubdivided`). Needs a server with PostGIS: --connection, or the
// environment variable DRENNOW_BENCH_PG, as a GDAL name ("PG:..."). Its
// options: kUsage below.
#include "ChildProcess.h"
#include "RealisticBasins.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace drennow::bench;

namespace {

constexpr const char* kUsage =
    "Usage: postgres_bench [--basins N] [--shape basins|squares] [--codes 32|64]\n"
    "                      [--rounds N] [--connection PG:...] [--drennow PATH]\n"
    "                      [--keep-table yes|no]\n"
    "Loads N basins (300,000 unless given) into a PostGIS table and times, round\n"
    "after round (3 unless given), a bulk client against drennow --batch --populate\n"
    "id on it. The server: --connection, or DRENNOW_BENCH_PG, as PG:\"dbname=...\".\n";

constexpr const char* kSchema = "drennow_bench";
constexpr const char* kTable = "drennow_bench.\"Watershed\"";

struct Options {
    size_t basins = 300000;
    bool squares = false;     // --shape squares
    bool wideCodes = false;   // --codes 64
    size_t rounds = 3;
    std::string connection;   // "PG:..."
    bool keepTable = false;
    fs::path drennow = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "drennow" / "drennow";
};

Options Parse(int argc, char** argv)
{
    Options options;
    if (const char* connection = std::getenv("DRENNOW_BENCH_PG")) {
        options.connection = connection;
    }
    if (argc % 2 == 0) {
        throw std::invalid_argument(std::string("no value for ") + argv[argc - 1]);
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        std::string value = argv[i + 1];
        if (name == "--basins") {
            options.basins = std::stoul(value);
        } else if (name == "--shape" && (value == "basins" || value == "squares")) {
            options.squares = value == "squares";
        } else if (name == "--codes" && (value == "32" || value == "64")) {
            options.wideCodes = value == "64";
        } else if (name == "--rounds") {
            options.rounds = std::max<size_t>(1, std::stoul(value));
        } else if (name == "--connection") {
            options.connection = value;
        } else if (name == "--drennow") {
            options.drennow = value;
        } else if (name == "--keep-table") {
            options.keepTable = value == "yes";
        } else {
            throw std::invalid_argument("unknown option or value: " + name + " " + value);
        }
    }
    if (options.connection.rfind("PG:", 0) != 0) {
        throw std::invalid_argument("give the server as --connection PG:... or DRENNOW_BENCH_PG");
    }
    return options;
}

// A libpq connection from the GDAL name.
class Connection {
public:
    explicit Connection(const std::string& gdalName) : conn_(PQconnectdb(gdalName.substr(3).c_str()))
    {
        if (PQstatus(conn_) != CONNECTION_OK) {
            throw std::runtime_error(std::string("cannot connect: ") + PQerrorMessage(conn_));
        }
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);  // DROP ... IF EXISTS and CASCADE notes
    }
    ~Connection() { PQfinish(conn_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs a statement that gives no rows or one value; that value.
    std::string Run(const std::string& sql)
    {
        std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn_, sql.c_str()), PQclear);
        ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            throw std::runtime_error(sql.substr(0, 80) + ": " + PQerrorMessage(conn_));
        }
        return status == PGRES_TUPLES_OK && PQntuples(result.get()) > 0 ? PQgetvalue(result.get(), 0, 0) : "";
    }

    void CopyIn(const std::string& sql, const std::string& data)
    {
        Expect(PQexec(conn_, sql.c_str()), PGRES_COPY_IN, sql);
        constexpr size_t kChunk = 1 << 20;
        for (size_t at = 0; at < data.size(); at += kChunk) {
            size_t size = std::min(kChunk, data.size() - at);
            if (PQputCopyData(conn_, data.data() + at, static_cast<int>(size)) != 1) {
                throw std::runtime_error(std::string("COPY: ") + PQerrorMessage(conn_));
            }
        }
        if (PQputCopyEnd(conn_, nullptr) != 1) {
            throw std::runtime_error(std::string("COPY: ") + PQerrorMessage(conn_));
        }
        Expect(PQgetResult(conn_), PGRES_COMMAND_OK, sql);
        PQclear(PQgetResult(conn_));
    }

    // Every line COPY ... TO STDOUT gives, handed over one by one.
    template <typename Line>
    void CopyOut(const std::string& sql, Line&& line)
    {
        Expect(PQexec(conn_, sql.c_str()), PGRES_COPY_OUT, sql);
        char* buffer = nullptr;
        int size;
        while ((size = PQgetCopyData(conn_, &buffer, 0)) > 0) {
            line(std::string_view(buffer, static_cast<size_t>(size)));
            PQfreemem(buffer);
        }
        Expect(PQgetResult(conn_), PGRES_COMMAND_OK, sql);
        PQclear(PQgetResult(conn_));
    }

private:
    void Expect(PGresult* result, ExecStatusType expected, const std::string& sql)
    {
        ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        if (status != expected) {
            throw std::runtime_error(sql.substr(0, 80) + ": " + PQerrorMessage(conn_));
        }
    }

    PGconn* conn_;
};

void AppendHex(std::string& out, const void* data, size_t size)
{
    static const char* digits = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
}

template <typename T>
void AppendHexValue(std::string& out, T value)
{
    AppendHex(out, &value, sizeof value);
}

// The polygon of feature i as little-endian WKB in hex: a unit square, or a
// ring of 160 vertices around the same cell.
void AppendPolygon(std::string& out, size_t i, bool square)
{
    constexpr size_t kColumns = 1000;
    double x = static_cast<double>(i % kColumns);
    double y = static_cast<double>(i / kColumns);
    uint32_t points = square ? 5 : 160;
    out += "01";
    AppendHexValue<uint32_t>(out, 3);  // polygon
    AppendHexValue<uint32_t>(out, 1);  // one ring
    AppendHexValue<uint32_t>(out, points);
    for (uint32_t p = 0; p + 1 < points; ++p) {
        double px, py;
        if (square) {
            px = x + (p == 2 || p == 3 ? 1.0 : 0.0);
            py = y + (p == 1 || p == 2 ? 1.0 : 0.0);
        } else {
            double angle = 2.0 * M_PI * p / (points - 1);
            px = x + 0.5 + 0.45 * std::cos(angle);
            py = y + 0.5 + 0.45 * std::sin(angle);
        }
        AppendHexValue(out, px);
        AppendHexValue(out, py);
    }
    out.append(out, out.size() - 32 * (points - 1), 32);  // the ring closes on its first vertex
}

template <typename Int>
void Load(Connection& db, const std::vector<BasicBasin<Int>>& basins, bool square)
{
    const char* type = sizeof(Int) == 8 ? "bigint" : "integer";
    db.Run(std::string("DROP SCHEMA IF EXISTS ") + kSchema + " CASCADE");
    db.Run(std::string("CREATE SCHEMA ") + kSchema);
    db.Run(std::string("CREATE TABLE ") + kTable + " (ogc_fid serial PRIMARY KEY, geom geometry(Polygon, 4326), " +
           "\"PfafstetterID\" " + type + ", \"HydroID\" " + type + ", \"NextDownID\" " + type + ")");
    constexpr size_t kRowsACopy = 20000;
    for (size_t first = 0; first < basins.size(); first += kRowsACopy) {
        std::string data;
        for (size_t i = first; i < std::min(basins.size(), first + kRowsACopy); ++i) {
            data += std::to_string(i + 1) + "\tSRID=4326;";
            AppendPolygon(data, i, square);
            data += "\t" + (basins[i].pfafCode ? std::to_string(*basins[i].pfafCode) : std::string("\\N"));
            data += "\t" + std::to_string(basins[i].hydroId) + "\t\\N\n";
        }
        db.CopyIn(std::string("COPY ") + kTable + " FROM STDIN", data);
    }
    db.Run(std::string("SELECT setval(pg_get_serial_sequence('") + kTable + "', 'ogc_fid'), " +
           std::to_string(basins.size()) + ")");
    db.Run(std::string("VACUUM ANALYZE ") + kTable);
}

// The bulk client: see the top of the file.
void RunBaseline(const std::string& connection, bool wide)
{
    Connection db(connection);
    const char* type = wide ? "bigint" : "integer";
    db.Run("BEGIN");
    std::string rows;
    db.CopyOut(std::string("COPY (SELECT ogc_fid, \"PfafstetterID\", \"HydroID\" FROM ") + kTable + ") TO STDOUT",
               [&](std::string_view line) {
                   size_t fidEnd = line.find('\t');
                   size_t hydroStart = line.rfind('\t') + 1;
                   rows.append(line.substr(0, fidEnd));
                   rows += '\t';
                   rows.append(line.substr(hydroStart));  // ends with the line's newline
               });
    db.Run(std::string("CREATE TEMPORARY TABLE next_down (fid integer, value ") + type + ") ON COMMIT DROP");
    db.CopyIn("COPY next_down FROM STDIN", rows);
    db.Run(std::string("UPDATE ") + kTable + " AS t SET \"NextDownID\" = n.value FROM next_down AS n " +
           "WHERE t.ogc_fid = n.fid");
    db.Run("COMMIT");
}

struct Timed {
    std::string name;
    std::vector<std::string> command;
    std::vector<double> walls;

    double Median() const
    {
        std::vector<double> sorted = walls;
        std::sort(sorted.begin(), sorted.end());
        size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }
};

// NextDownID emptied and the dead rows cleared, outside the timing.
void Reset(Connection& db)
{
    db.Run(std::string("UPDATE ") + kTable + " SET \"NextDownID\" = NULL");
    db.Run(std::string("VACUUM ") + kTable);
    db.Run("CHECKPOINT");
}

void Time(Connection& db, Timed& timed, const fs::path& output, size_t basins)
{
    Reset(db);
    ChildRun run = RunChild(timed.command, output);
    if (run.exitStatus != 0) {
        throw std::runtime_error(timed.name + " ended with status " + std::to_string(run.exitStatus) + ", see " +
                                 output.string());
    }
    std::string filled = db.Run(std::string("SELECT count(\"NextDownID\") FROM ") + kTable);
    if (filled != std::to_string(basins)) {
        throw std::runtime_error(timed.name + " filled NextDownID of " + filled + " of " + std::to_string(basins) +
                                 " features");
    }
    timed.walls.push_back(run.wallSeconds);
}

template <typename Int>
int Run(const Options& options, const std::vector<BasicBasin<Int>>& basins)
{
    std::cout << std::fixed << std::setprecision(3);
    Connection db(options.connection);
    auto start = std::chrono::steady_clock::now();
    Load(db, basins, options.squares);
    std::cout << "basins: " << basins.size() << (options.squares ? " squares" : " polygons of 160 vertices")
              << ", " << (options.wideCodes ? 64 : 32) << "-bit codes, loaded in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s, table "
              << db.Run(std::string("SELECT pg_size_pretty(pg_total_relation_size('") + kTable + "'))") << "\n";

    fs::path self = fs::read_symlink("/proc/self/exe");
    Timed baseline{"baseline", {self, "--baseline", options.connection, options.wideCodes ? "64" : "32"}, {}};
    std::vector<std::string> command = {options.drennow, "--batch"};
    if (options.wideCodes) {
        command.insert(command.end(), {"--int64", "--zeros", "unsubdivided"});
    } else {
        command.insert(command.end(), {"--trailing-zeros", "yes"});
    }
    // A database has no folder: the failure log would go to the current one.
    command.insert(command.end(), {"--log-dir", fs::temp_directory_path().string()});
    command.insert(command.end(), {"--layer", "Watershed", "--pfaf-field", "PfafstetterID", "--populate", "id",
                                   "--id-field", "HydroID", options.connection + " schemas=" + kSchema});
    Timed run{"drennow, identifier mode", command, {}};
    fs::path output = fs::temp_directory_path() / "drennow-postgres-bench.out";
    for (size_t round = 0; round < options.rounds; ++round) {
        Time(db, baseline, output, basins.size());
        Time(db, run, output, basins.size());
    }
    for (const Timed* timed : {&baseline, &run}) {
        std::cout << timed->name << ": " << timed->Median() << " s wall (rounds:";
        for (double wall : timed->walls) {
            std::cout << " " << wall;
        }
        std::cout << ")\n";
    }
    if (!options.keepTable) {
        db.Run(std::string("DROP SCHEMA ") + kSchema + " CASCADE");
    }
    std::cout << "ratio " << run.Median() / baseline.Median() << "\n";
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return EXIT_SUCCESS;
    }
    try {
        if (argc == 4 && std::string(argv[1]) == "--baseline") {
            RunBaseline(argv[2], std::string(argv[3]) == "64");
            return EXIT_SUCCESS;
        }
        Options options = Parse(argc, argv);
        StartLauncher();
        return options.wideCodes ? Run(options, MakeTwelveDigitBasins(options.basins))
                                 : Run(options, MakeRealisticBasins(options.basins));
    } catch (const std::exception& e) {
        std::cerr << "postgres_bench: " << e.what() << "\nTry 'postgres_bench --help'.\n";
        return EXIT_FAILURE;
    }
}
