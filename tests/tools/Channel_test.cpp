// qvpublish channel: the patch list and packages of one channel, read back
// cell by cell, digests recomputed, cabinets extracted with cabextract.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/tools/PublishTestUtil.h"

using nlohmann::json;
using qvtest::ReadCell;
using qvtest::ReadRow;
using qvtest::RunTool;
using qvtest::ToolRun;

namespace {

const char kBasePath[] = "/Updates/KorvaneFree/Program";
const time_t kSourceTime = 1718000000;  // an even second: cabinets keep 2-second times

struct SourceFile {
    std::string name;  // on disk, under src/
    std::string content;
};

class ChannelCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mkdir(dir_.File("src").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(dir_.File("server").c_str(), 0755), 0);
    }
    std::string Src(const std::string& name) const { return dir_.File("src") + "/" + name; }
    void AddSource(const std::string& name, const std::string& content)
    {
        ASSERT_TRUE(qvtest::WriteFileWithTime(Src(name), content, kSourceTime));
    }
    std::string Manifest(const json& manifest)
    {
        std::string path = Src("channel.json");
        qvtest::WriteText(path, manifest.dump(2));
        return path;
    }
    // The channel's folder on the server, two levels below an existing folder.
    std::string OutDir() const { return dir_.File("server") + "/Updates/KorvaneFree/Program"; }

    qvtest::ScratchDir dir_;
};

json File(const std::string& source, const std::string& package, const std::string& stamp)
{
    return json{{"source", source}, {"package", package}, {"releaseStamp", stamp}};
}

std::vector<int> Kinds(const ReadRow& row)
{
    std::vector<int> kinds;
    for (const ReadCell& cell : row)
        kinds.push_back(cell.kind);
    return kinds;
}

} // namespace

TEST_F(ChannelCommand, ListAndPackagesMatchTheSourcesCellByCell)
{
    AddSource("QVUpdate.exe", "updater, second release\n");
    AddSource("QVCtx.dll", std::string("shell extension\0with a zero byte\n", 33));
    AddSource("QVPattern.dat", std::string(5000, 'p') + "pattern end\n");
    AddSource("QVSkinKor.dat", "language file\n");
    AddSource("notes.txt", "read me\n");
    chmod(Src("QVUpdate.exe").c_str(), 0444);  // read-only at the vendor: must not install read-only

    json manifest = {{"channel", "program"}, {"basePath", kBasePath}};
    manifest["files"] = json::array();
    manifest["files"].push_back(File("QVUpdate.exe", "cab", "2025061009"));
    json ctx = File("QVCtx.dll", "cab", "2025061002");
    ctx["remoteFolder"] = "modules/x";
    ctx["registerFlag"] = true;
    ctx["restartKind"] = "service_restart";
    manifest["files"].push_back(ctx);
    json pattern = File("QVPattern.dat", "cab", "2025061010");
    pattern["targetFolder"] = "%VP%";
    pattern["restartKind"] = "ENGINE_RESTART";
    manifest["files"].push_back(pattern);
    json skin = File("QVSkinKor.dat", "plain", "2025061001");
    skin["remoteFolder"] = "skins";
    manifest["files"].push_back(skin);
    json notes = File("notes.txt", "plain", "2025061003");
    notes["fileName"] = "ReadMe.txt";
    notes["targetFolder"] = "C:\\Program Files\\Shared";
    notes["registerFlag"] = 0;
    manifest["files"].push_back(notes);
    manifest["deletes"] = json::array({{{"targetFolder", "%VP%"}, {"fileName", "Old Engine.dll"}}});

    ToolRun run = RunTool(dir_, {"channel", Manifest(manifest), OutDir()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    std::vector<ReadRow> rows = qvtest::ReadTable(OutDir() + "/QVPatch.dat");
    ASSERT_EQ(rows.size(), 7u);
    // Header: channel name and the greatest release stamp.
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][0].text, "program");
    EXPECT_EQ(rows[0][1].text, "2025061010");

    struct Expected {
        std::string source, fileName, remote, target, restart, stamp;
        bool cabinet;
        int registerFlag;
    };
    const Expected expected[] = {
        {"QVUpdate.exe", "QVUpdate.exe", "", "", "", "2025061009", true, 0},
        {"QVCtx.dll", "QVCtx.dll", "modules/x", "", "SERVICE_RESTART", "2025061002", true, 1},
        {"QVPattern.dat", "QVPattern.dat", "", "%VP%", "ENGINE_RESTART", "2025061010", true, 0},
        {"QVSkinKor.dat", "QVSkinKor.dat", "skins", "", "", "2025061001", false, 0},
        {"notes.txt", "ReadMe.txt", "", "C:\\Program Files\\Shared", "", "2025061003", false, 0},
    };
    const std::vector<int> recordKinds = {3, 3, 3, 3, 3, 3, 3, 3, 4, 6, 6};
    for (size_t i = 0; i < 5; ++i) {
        const Expected& e = expected[i];
        const ReadRow& row = rows[i + 1];
        SCOPED_TRACE(e.fileName);
        ASSERT_EQ(Kinds(row), recordKinds);
        std::string packageName = e.cabinet ? e.fileName + ".cab" : e.fileName;
        EXPECT_EQ(row[0].text, e.remote.empty() ? "" : std::string(kBasePath) + "/" + e.remote);
        EXPECT_EQ(row[1].text, qvtest::DigestOf(Src(e.source)));
        EXPECT_EQ(row[2].text, e.target);
        EXPECT_EQ(row[3].text, e.fileName);
        EXPECT_EQ(row[4].text, e.restart);
        EXPECT_EQ(row[5].text, e.stamp);
        EXPECT_EQ(row[6].text, packageName);
        EXPECT_EQ(row[9].number, e.registerFlag);
        EXPECT_EQ(row[10].number, 0);

        // The package stands where the record's folder points, under OUTDIR.
        std::string package = OutDir() + (e.remote.empty() ? "" : "/" + e.remote) + "/" + packageName;
        ASSERT_TRUE(qvtest::FileExists(package));
        EXPECT_EQ(row[7].text, qvtest::DigestOf(package));
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(qvtest::ReadBytes(package, bytes));
        EXPECT_EQ(row[8].number, static_cast<int32_t>(bytes.size()));
        if (!e.cabinet) {
            EXPECT_EQ(qvtest::ReadText(package), qvtest::ReadText(Src(e.source)));
            continue;
        }
        // The cabinet holds exactly the file, under its name, with its date.
        std::string unpacked = dir_.File("unpacked-" + std::to_string(i));
        ToolRun extract = qvtest::RunCommand(dir_, "cabextract -q -d " + qvtest::Quote(unpacked) + " " + qvtest::Quote(package));
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        std::map<std::string, std::string> tree = qvtest::Snapshot(unpacked);
        ASSERT_EQ(tree.size(), 1u);
        EXPECT_EQ(tree.begin()->first, e.fileName);
        EXPECT_EQ(tree.begin()->second, qvtest::ReadText(Src(e.source)));
        EXPECT_EQ(qvtest::ModifiedTime(unpacked + "/" + e.fileName), kSourceTime);
        EXPECT_EQ(qvtest::DigestOf(unpacked + "/" + e.fileName), row[1].text);
        // Stored with the archive attribute only, never read-only (0x01).
        ToolRun list = qvtest::RunCommand(dir_, "gcab -l " + qvtest::Quote(package));
        EXPECT_NE(list.out.find(" 0x20\n"), std::string::npos) << list.out;
    }
    // The delete record: folder and name, deleteFlag 1, nothing else.
    const ReadRow& deletion = rows[6];
    ASSERT_EQ(Kinds(deletion), recordKinds);
    EXPECT_EQ(deletion[2].text, "%VP%");
    EXPECT_EQ(deletion[3].text, "Old Engine.dll");
    for (int cell : {0, 1, 4, 5, 6, 7})
        EXPECT_EQ(deletion[cell].text, "") << cell;
    EXPECT_EQ(deletion[8].number, 0);
    EXPECT_EQ(deletion[9].number, 0);
    EXPECT_EQ(deletion[10].number, 1);

    // Nothing else was written, and no temporary folder is left.
    std::map<std::string, std::string> server = qvtest::Snapshot(dir_.File("server"));
    std::vector<std::string> files;
    for (const auto& entry : server)
        if (entry.second != "/")
            files.push_back(entry.first);
    const std::string base = "Updates/KorvaneFree/Program/";
    EXPECT_EQ(files, (std::vector<std::string>{base + "QVPatch.dat", base + "QVPattern.dat.cab",
                                               base + "QVUpdate.exe.cab", base + "ReadMe.txt",
                                               base + "modules/x/QVCtx.dll.cab", base + "skins/QVSkinKor.dat"}));
}

TEST_F(ChannelCommand, ANewReleaseReplacesTheListAndKeepsOldPackages)
{
    AddSource("QVUpdate.exe", "first\n");
    AddSource("QVOld.dll", "only in the first release\n");
    json first = {{"channel", "program"}, {"basePath", kBasePath},
                  {"files", json::array({File("QVUpdate.exe", "cab", "1"), File("QVOld.dll", "plain", "1")})}};
    ASSERT_EQ(RunTool(dir_, {"channel", Manifest(first), OutDir()}).exitCode, 0);

    AddSource("QVUpdate.exe", "second\n");
    json second = {{"channel", "program"}, {"basePath", kBasePath},
                   {"files", json::array({File("QVUpdate.exe", "cab", "2")})}};
    ToolRun run = RunTool(dir_, {"channel", "--mode", "1", Manifest(second), OutDir()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<ReadRow> rows = qvtest::ReadTable(OutDir() + "/QVPatch.dat");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1].text, "2");
    EXPECT_EQ(rows[1][1].text, qvtest::DigestOf(Src("QVUpdate.exe")));
    EXPECT_EQ(rows[1][7].text, qvtest::DigestOf(OutDir() + "/QVUpdate.exe.cab"));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(qvtest::ReadBytes(OutDir() + "/QVPatch.dat", bytes));
    EXPECT_EQ(bytes.at(6), 1);
    // Clients still holding the first list can fetch what it names.
    EXPECT_TRUE(qvtest::FileExists(OutDir() + "/QVOld.dll"));
}

TEST_F(ChannelCommand, MistakesWriteNothing)
{
    AddSource("QVUpdate.exe", "updater\n");
    AddSource("QVCtx.dll", "shell extension\n");
    AddSource("data.cabinet", "not a cabinet\n");
    json good = {{"channel", "program"}, {"basePath", kBasePath},
                 {"files", json::array({File("QVUpdate.exe", "cab", "1")})}};
    ASSERT_EQ(RunTool(dir_, {"channel", Manifest(good), OutDir()}).exitCode, 0);

    auto with = [&](json file) {
        json manifest = good;
        manifest["files"].push_back(file);
        return manifest;
    };
    auto withMember = [&](const char* name, json value) {
        json file = File("QVCtx.dll", "cab", "2");
        file[name] = value;
        return with(file);
    };
    struct Mistake {
        json manifest;
        const char* expected;  // part of the message
    };
    json renamed = File("QVCtx.dll", "plain", "2");
    renamed["fileName"] = "qvupdate.EXE";
    json overPatchList = File("QVCtx.dll", "plain", "2");
    overPatchList["fileName"] = "QVPatch.dat";
    json unknownTop = good;
    unknownTop["base"] = "/x";
    json deleteClash = good;
    deleteClash["deletes"] = json::array({{{"targetFolder", "%BASE%"}, {"fileName", "QVUPDATE.exe"}}});
    json badBase = good;
    badBase["basePath"] = "Updates/Program";
    const Mistake mistakes[] = {
        {with(File("QVMissing.dll", "cab", "2")), "missing"},
        {with(File("QVUpdate.exe", "plain", "2")), "clashes"},
        {with(renamed), "clashes"},
        {with(overPatchList), "clashes"},
        {withMember("releaseStamp", 2025061001), "releaseStamp must be text"},
        {withMember("releaseStamp", ""), "releaseStamp must not be empty"},
        {with(File("QVCtx.dll", "zip", "2")), "unknown package kind"},
        {with(File("data.cabinet", "plain", "2")), ".cab"},
        {withMember("targetFolder", "%VP%\\Sub"), "targetFolder"},
        {withMember("targetFolder", "VP"), "targetFolder"},
        {withMember("restartKind", "REBOOT"), "restartKind"},
        {withMember("registerFlag", 2), "registerFlag"},
        {withMember("remoteFolder", "../outside"), "remoteFolder"},
        {withMember("remoteFolder", "/abs"), "remoteFolder"},
        {withMember("fileName", "Q V.dll"), "fileName"},
        {withMember("sources", "x"), "unknown member"},
        {unknownTop, "unknown member"},
        {deleteClash, "already named"},
        {badBase, "basePath"},
    };
    std::map<std::string, std::string> before = qvtest::Snapshot(dir_.File("server"));
    for (const Mistake& mistake : mistakes) {
        ToolRun run = RunTool(dir_, {"channel", Manifest(mistake.manifest), OutDir()});
        EXPECT_EQ(run.exitCode, 1) << mistake.manifest.dump();
        EXPECT_EQ(qvtest::CountLines(run.err), 1) << run.err;
        EXPECT_NE(run.err.find(mistake.expected), std::string::npos) << run.err;
        EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before) << mistake.manifest.dump();
    }
    // Failures while building (gcab missing or failing) leave no trace either,
    // in an existing channel folder or in one that does not exist yet.
    json twoCabinets = with(File("QVCtx.dll", "cab", "2"));
    for (const char* gcab : {"/nonexistent/gcab", "false"}) {
        for (const std::string& out : {OutDir(), dir_.File("server") + "/New/Channel"}) {
            ToolRun run = RunTool(dir_, {"channel", "--gcab", gcab, Manifest(twoCabinets), out});
            EXPECT_EQ(run.exitCode, 1) << gcab;
            EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before) << gcab << " " << out;
        }
    }
    // A file where a package folder must go is found before anything moves.
    ASSERT_TRUE(qvtest::WriteText(OutDir() + "/blocked", "a file, not a folder\n"));
    before = qvtest::Snapshot(dir_.File("server"));
    ToolRun blocked = RunTool(dir_, {"channel", Manifest(withMember("remoteFolder", "blocked/x")), OutDir()});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("in the way"), std::string::npos) << blocked.err;
    EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before);

    EXPECT_EQ(RunTool(dir_, {"channel", "--mode", "9", Manifest(good), OutDir()}).exitCode, 2);
    EXPECT_EQ(RunTool(dir_, {"channel", Manifest(good)}).exitCode, 2);
    EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before);
}

TEST_F(ChannelCommand, SignedListCarriesItsSignature)
{
    AddSource("QVEngine.dll", "engine\n");
    json manifest = {{"channel", "vp"}, {"basePath", kBasePath},
                     {"files", json::array({File("QVEngine.dll", "cab", "1")})}};
    std::string key = qvtest::SampleKeyPath(), sample = qvtest::SamplePublicHex();
    ToolRun run = RunTool(dir_, {"channel", "--sign", key, "--serial", "5", "--channel", "database",
                                 Manifest(manifest), OutDir()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    uint64_t serial = 0;
    EXPECT_EQ(qvtest::CheckSignature(OutDir() + "/QVPatch.dat", RELEASE_CHANNEL_DATABASE, sample, serial),
              RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial, 5u);

    // The next release replaces list and signature together.
    AddSource("QVEngine.dll", "engine, second release\n");
    manifest["files"][0]["releaseStamp"] = "2";
    ASSERT_EQ(RunTool(dir_, {"channel", "--sign", key, "--serial", "6", "--channel", "database", Manifest(manifest),
                             OutDir()})
                  .exitCode,
              0);
    EXPECT_EQ(qvtest::CheckSignature(OutDir() + "/QVPatch.dat", RELEASE_CHANNEL_DATABASE, sample, serial),
              RELEASE_SIGNATURE_OK);
    EXPECT_EQ(serial, 6u);
    EXPECT_EQ(qvtest::ReadTable(OutDir() + "/QVPatch.dat").at(0).at(1).text, "2");

    // Mistakes in the signing options, or a key that cannot be read, write nothing.
    std::map<std::string, std::string> before = qvtest::Snapshot(dir_.File("server"));
    const std::vector<std::vector<std::string>> mistakes = {
        {"--sign", key, "--serial", "7"},                           // which channel?
        {"--sign", key, "--serial", "7", "--channel", "config"},    // a patch list is no configuration
        {"--sign", key, "--channel", "database"},                   // no serial
        {"--serial", "7", "--channel", "database"},                 // no key
        {"--channel", "database"},
        {"--sign", dir_.File("absent.pem"), "--serial", "7", "--channel", "database"},
    };
    for (const std::vector<std::string>& options : mistakes) {
        std::vector<std::string> args = {"channel"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(Manifest(manifest));
        args.push_back(OutDir());
        ToolRun failed = RunTool(dir_, args);
        EXPECT_NE(failed.exitCode, 0) << options[0];
        EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before) << options[0] << " " << options.back();
    }
    // A channel file would meet the signature on the server and in the installer's download folder.
    AddSource("notes.txt", "notes\n");
    json clash = manifest;
    json file = File("notes.txt", "plain", "2");
    file["fileName"] = "qvpatch.dat.SIG";
    clash["files"].push_back(file);
    ToolRun clashed = RunTool(dir_, {"channel", Manifest(clash), OutDir()});
    EXPECT_EQ(clashed.exitCode, 1);
    EXPECT_NE(clashed.err.find("clashes"), std::string::npos) << clashed.err;
    EXPECT_TRUE(qvtest::Snapshot(dir_.File("server")) == before);
}
