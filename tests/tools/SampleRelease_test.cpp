// server/make-sample-release.sh: the whole sample server tree, built into
// the build folder (sample-server/, kept for the demo) and checked the way
// the installer would use it: configuration, both channels, every package
// and its digests, the language files and the news answer.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/ConfigRecord.h"
#include "tests/tools/PublishTestUtil.h"

using qvtest::ReadCell;
using qvtest::ReadRow;
using qvtest::ToolRun;

namespace {

const char kHost[] = "127.0.0.1";
const int kPort = 18080;
const char kConfigPath[] = "/TKAS/AccessFile/Update5/Personal/KorvaneFree";

class SampleRelease : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qvtest::RemoveTree(Root());
        qvtest::ScratchDir scratch;
        std::string command = qvtest::Quote(qvtest::SourcePath("server/make-sample-release.sh")) + " " +
                              qvtest::Quote(qvtest::ToolPath()) + " " + qvtest::Quote(ProductDir()) + " " +
                              qvtest::Quote(Root()) + " " + kHost + " " + std::to_string(kPort);
        built_ = qvtest::RunCommand(scratch, command);
    }
    static std::string Root() { return qvtest::BinaryPath("sample-server"); }
    // The built sample product: the second argument.
    static std::string ProductDir()
    {
        std::vector<std::string> argv = ::testing::internal::GetArgvs();
        return argv.size() >= 3 ? argv[2] : std::string();
    }

    // Server entry of the configuration file, read as the installer does.
    static ConfigServer Entry(int entry)
    {
        ConfigServer server;
        CTableFile table;
        if (!table.Open((Root() + kConfigPath + "/QVConfig.dat").c_str(), nullptr, 0))
            return server;
        for (int i = 0; i < CONFIG_FIRST_SERVER_CELL + 3 * entry; ++i)
            table.NextCell();
        table.GetText(server.hostList);
        table.NextCell();
        table.GetText(server.path);
        table.NextCell();
        table.GetNumber5(server.port);
        return server;
    }

    static ToolRun built_;
};

ToolRun SampleRelease::built_;

// Checks every record of the channel served at path; returns its rows.
std::vector<ReadRow> CheckChannel(const std::string& root, const std::string& path, qvtest::ScratchDir& scratch)
{
    std::vector<ReadRow> rows = qvtest::ReadTable(root + path + "/QVPatch.dat");
    EXPECT_GE(rows.size(), 2u) << path;
    for (size_t r = 1; r < rows.size(); ++r) {
        const ReadRow& row = rows[r];
        if (row.size() != 11u) {
            ADD_FAILURE() << path << " row " << r << " has " << row.size() << " cells";
            continue;
        }
        if (row[10].number != 0)
            continue;  // a delete record
        const std::string& fileName = row[3].text;
        SCOPED_TRACE(fileName);
        std::string folder = row[0].text.empty() ? path : row[0].text;
        std::string package = root + folder + "/" + row[6].text;
        EXPECT_EQ(qvtest::DigestOf(package), row[7].text);
        std::vector<unsigned char> bytes;
        EXPECT_TRUE(qvtest::ReadBytes(package, bytes));
        EXPECT_EQ(static_cast<int32_t>(bytes.size()), row[8].number);
        std::string installed = package;
        if (row[6].text.find(".cab") != std::string::npos) {
            std::string unpacked = scratch.File("unpacked" + std::to_string(r));
            ToolRun extract =
                qvtest::RunCommand(scratch, "cabextract -q -d " + qvtest::Quote(unpacked) + " " + qvtest::Quote(package));
            EXPECT_EQ(extract.exitCode, 0) << extract.err;
            installed = unpacked + "/" + fileName;
        }
        EXPECT_EQ(qvtest::DigestOf(installed), row[1].text);
    }
    return rows;
}

const ReadRow* FindRecord(const std::vector<ReadRow>& rows, const std::string& fileName)
{
    for (size_t r = 1; r < rows.size(); ++r)
        if (rows[r].size() == 11u && rows[r][3].text == fileName)
            return &rows[r];
    return nullptr;
}

} // namespace

TEST_F(SampleRelease, ConfigurationPointsAtTheChannelsOfTheTree)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    std::vector<ReadRow> config = qvtest::ReadTable(Root() + kConfigPath + "/QVConfig.dat");
    ASSERT_EQ(config.size(), 1u);
    ASSERT_EQ(config[0].size(), 81u);
    EXPECT_EQ(config[0][0].text, "KorvaneFree");
    EXPECT_EQ(config[0][3].text, "HLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree");
    for (int i = 0; i < CONFIG_CELL_COUNT; ++i) {
        int kind = ConfigLayout(i).kind;
        EXPECT_EQ(config[0][i].kind, kind == CONFIG_TEXT ? CELL_BYTES : kind) << "cell " << i + 1;
    }
    EXPECT_EQ(Entry(0).path, kConfigPath);
    for (int entry : {SERVER_CONFIG, SERVER_PROGRAM, SERVER_DATABASE, SERVER_NEWS}) {
        ConfigServer server = Entry(entry);
        EXPECT_EQ(server.hostList, kHost) << entry;
        EXPECT_EQ(server.port, kPort) << entry;
        // What the installer asks each server for is there.
        std::string asked = entry == SERVER_CONFIG    ? "/QVConfig.dat"
                            : entry == SERVER_NEWS ? ""
                                                   : "/QVPatch.dat";
        EXPECT_TRUE(qvtest::FileExists(Root() + server.path + asked)) << entry << " " << server.path;
    }
    // The news answer holds both kinds of link, pointing at the sample server.
    std::string news = qvtest::ReadText(Root() + Entry(SERVER_NEWS).path);
    EXPECT_NE(news.find("NEWS|http://127.0.0.1:18080/"), std::string::npos) << news;
    EXPECT_NE(news.find("EVENT|http://127.0.0.1:18080/"), std::string::npos) << news;
}

TEST_F(SampleRelease, EveryPackageOfBothChannelsMatchesItsRecord)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    qvtest::ScratchDir scratch;
    std::vector<ReadRow> program = CheckChannel(Root(), Entry(SERVER_PROGRAM).path, scratch);
    std::vector<ReadRow> database = CheckChannel(Root(), Entry(SERVER_DATABASE).path, scratch);

    // The mix the sample promises: cabinets and plain files, packages in
    // sub-folders, a file placed through %VP%, a delete record.
    int cabinets = 0, plain = 0, remote = 0, viaVp = 0, deletes = 0;
    for (const std::vector<ReadRow>* rows : {&program, &database}) {
        for (size_t r = 1; r < rows->size(); ++r) {
            const ReadRow& row = (*rows)[r];
            if (row.size() != 11u)
                continue;
            deletes += row[10].number != 0;
            if (row[10].number != 0)
                continue;
            (row[6].text.find(".cab") != std::string::npos ? cabinets : plain) += 1;
            remote += !row[0].text.empty();
            viaVp += row[2].text == "%VP%";
        }
    }
    EXPECT_GE(cabinets, 2);
    EXPECT_GE(plain, 2);
    EXPECT_GE(remote, 1);
    EXPECT_GE(viaVp, 1);
    EXPECT_EQ(deletes, 1);
    // The database channel's stamp (the product's "DBUpdateDate") heads its list.
    ASSERT_FALSE(database.empty());
    std::string latest;
    for (size_t r = 1; r < database.size(); ++r)
        if (database[r].size() == 11u && latest < database[r][5].text)
            latest = database[r][5].text;
    EXPECT_EQ(database[0].at(1).text, latest);
}

TEST_F(SampleRelease, ThePublishedProgramsAreTheBuiltSampleProduct)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    qvtest::ScratchDir scratch;
    std::string channel = Entry(SERVER_PROGRAM).path;
    std::vector<ReadRow> rows = qvtest::ReadTable(Root() + channel + "/QVPatch.dat");
    for (const char* name : {"QVUpdate.exe", "QVServiceNt.exe", "QVService.exe", "QVCtx.dll"}) {
        SCOPED_TRACE(name);
        const ReadRow* record = FindRecord(rows, name);
        ASSERT_NE(record, nullptr);
        std::vector<unsigned char> program;
        ASSERT_TRUE(qvtest::ReadBytes(ProductDir() + "/" + name, program));
        ASSERT_GT(program.size(), 2u);
        EXPECT_EQ(program[0], 'M');  // a Windows program, not a placeholder
        EXPECT_EQ(program[1], 'Z');
        EXPECT_EQ((*record)[1].text, qvtest::DigestOf(ProductDir() + "/" + name));
    }
    // The shell extension registers itself when placed.
    EXPECT_EQ((*FindRecord(rows, "QVCtx.dll"))[9].number, 1);
}

TEST_F(SampleRelease, LanguageFilesGoToTheInstallFolderWithEveryProgramText)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    std::string channel = Entry(SERVER_PROGRAM).path;
    std::vector<ReadRow> rows = qvtest::ReadTable(Root() + channel + "/QVPatch.dat");
    const std::set<int32_t> programIds = {10206, 10208, 10210, 10211, 10212, 10213, 10214, 10215, 10220};
    for (const char* name : {"QVSkinKor.dat", "QVSkinEng.dat"}) {
        SCOPED_TRACE(name);
        const ReadRow* record = FindRecord(rows, name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ((*record)[2].text, "");  // the channel's base folder: the install folder
        std::string folder = (*record)[0].text.empty() ? channel : (*record)[0].text;
        std::vector<ReadRow> texts = qvtest::ReadTable(Root() + folder + "/" + (*record)[6].text);
        std::set<int32_t> ids;
        bool korean = false;
        for (const ReadRow& text : texts) {
            ASSERT_EQ(text.size(), 4u);
            EXPECT_EQ(text[0].number, 1000);
            ids.insert(text[1].number);
            EXPECT_FALSE(text[3].text.empty());
            for (unsigned char c : text[3].text)
                korean = korean || c >= 0x80;  // code page 949 lead bytes
        }
        EXPECT_EQ(ids, programIds);
        EXPECT_EQ(korean, std::string(name) == "QVSkinKor.dat");
    }
}

namespace {

struct SignedManifest {
    const char* path;  // under the configuration path
    ReleaseChannel channel;
};
const SignedManifest kSignedManifests[] = {
    {"/QVConfig.dat", RELEASE_CHANNEL_CONFIG},
    {"/Program/QVPatch.dat", RELEASE_CHANNEL_PROGRAM},
    {"/VP/QVPatch.dat", RELEASE_CHANNEL_DATABASE},
};

// Runs the script with options before its usual arguments, into root.
ToolRun MakeRelease(const std::string& environment, const std::string& options, const std::string& root,
                    const std::string& productDir, qvtest::ScratchDir& scratch)
{
    return qvtest::RunCommand(scratch, environment + " " +
                                           qvtest::Quote(qvtest::SourcePath("server/make-sample-release.sh")) + " " +
                                           options + " " + qvtest::Quote(qvtest::ToolPath()) + " " +
                                           qvtest::Quote(productDir) + " " + qvtest::Quote(root) + " " + kHost +
                                           " " + std::to_string(kPort));
}

} // namespace

TEST_F(SampleRelease, TheThreeManifestsAreSignedWithTheSampleKey)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    for (const SignedManifest& m : kSignedManifests) {
        SCOPED_TRACE(m.path);
        uint64_t serial = 0;
        EXPECT_EQ(qvtest::CheckSignature(Root() + kConfigPath + m.path, m.channel, qvtest::SamplePublicHex(), serial),
                  RELEASE_SIGNATURE_OK);
        EXPECT_EQ(serial, 1u);  // the default
    }
}

TEST_F(SampleRelease, UnsignedOrWithAnotherSerialOnRequest)
{
    ASSERT_EQ(built_.exitCode, 0) << built_.err;
    qvtest::ScratchDir scratch;
    // --unsigned: the same tree without the signature files, for a build without keys.
    std::string unsignedRoot = scratch.File("unsigned");
    ToolRun plain = MakeRelease("", "--unsigned", unsignedRoot, ProductDir(), scratch);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    std::map<std::string, std::string> expected = qvtest::Snapshot(Root());
    for (const SignedManifest& m : kSignedManifests)
        EXPECT_EQ(expected.erase(std::string(kConfigPath + 1) + m.path + ".sig"), 1u) << m.path;
    EXPECT_TRUE(qvtest::Snapshot(unsignedRoot) == expected);

    // The serial from the environment, and from --serial before it.
    for (const char* options : {"", "--serial 42"}) {
        SCOPED_TRACE(options);
        std::string root = scratch.File(*options ? "serial-option" : "serial-environment");
        ToolRun run = MakeRelease("QV_RELEASE_SERIAL=41", options, root, ProductDir(), scratch);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (const SignedManifest& m : kSignedManifests) {
            uint64_t serial = 0;
            EXPECT_EQ(qvtest::CheckSignature(root + kConfigPath + m.path, m.channel, qvtest::SamplePublicHex(), serial),
                      RELEASE_SIGNATURE_OK);
            EXPECT_EQ(serial, *options ? 42u : 41u) << m.path;
        }
    }
    EXPECT_EQ(MakeRelease("", "--serial", scratch.File("x"), ProductDir(), scratch).exitCode, 2);
}
