// tessary-cli as installed and run with other tools: the completion, GNU
// parallel, where it looks for libraries, the installed tree.

#include "CliTool.h"

namespace {

// The completion that bash-completion loads, as the build writes it from
// the table of options, offers commands, options and the values of options,
// also after "=" (which bash makes a word of its own).
TEST_F(CliTool, BashCompletesCommandsOptionsAndTheirValues) {
  const std::string script = std::string(TESSARY_BUILD_DIR) + "/completion/tessary-cli";
  const auto complete = [&](const std::string& words, int current) {
    return RunCommand("cd '" + folder_.Path().string() + "' && bash -c 'source \"" + script +
                      "\"; COMP_WORDS=(" + words + "); COMP_CWORD=" + std::to_string(current) +
                      "; _tessary_cli; echo \"${COMPREPLY[*]}\"'")
        .output;
  };
  fs::create_directories(folder_.File("shots"));
  WriteBytes(folder_.File("stack.tif"), {'x'});
  EXPECT_EQ(complete("tessary-cli con", 1), "convert\n");
  EXPECT_EQ(complete("tessary-cli convert --mo", 2), "--mode\n");
  EXPECT_EQ(complete("tessary-cli convert --mode \"\"", 3), "auto color gray\n");
  EXPECT_EQ(complete("tessary-cli convert --mode =", 3), "auto color gray\n");
  EXPECT_EQ(complete("tessary-cli convert --mode = co", 4), "color\n");
  EXPECT_EQ(complete("tessary-cli convert --output-dir = \"\"", 4), "shots\n");
  EXPECT_EQ(complete("tessary-cli convert st", 2), "stack.tif\n");
  EXPECT_EQ(complete("tessary-cli detect --j", 2), "--json\n");
  EXPECT_EQ(complete("tessary-cli average --o", 2), "--output\n");
}

// The README's GNU parallel example: chunks of files over several
// independent runs give what one run gives.
TEST_F(CliTool, GnuParallelChunksGiveWhatOneRunGives) {
  if (RunCommand("command -v parallel").status != 0) {
    GTEST_SKIP() << "GNU parallel is not installed (scripts/install-deps installs it)";
  }
  fs::create_directories(folder_.File("shots/sub"));
  TempFolder reference;
  std::string names;
  for (unsigned i = 0; i < 12; ++i) {
    const std::string name = (i % 3 == 0 ? "shots/sub/p" : "shots/p") + std::to_string(i) + ".tif";
    Tiff(name, i % 2 == 0, i);
    fs::copy_file(folder_.File(name), reference.File("p" + std::to_string(i) + ".tif"));
    names += " p" + std::to_string(i) + ".tif";
  }
  RunCommand(InFolder(reference.Path(), Cli(), "convert --quiet" + names));
  const Outcome outcome =
      RunCommand(InFolder(folder_.Path(),
                          "HOME='" + folder_.Path().string() +
                              "' find shots -name '*.tif' -print0 | parallel -0 -n 5 " + Cli(),
                          "convert --jobs 4 --quiet"));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  for (unsigned i = 0; i < 12; ++i) {
    const std::string bmp = (i % 3 == 0 ? "shots/sub/p" : "shots/p") + std::to_string(i) + ".bmp";
    EXPECT_EQ(ReadBytes(folder_.File(bmp)),
              ReadBytes(reference.File("p" + std::to_string(i) + ".bmp")))
        << bmp;
  }
}

// Never in the current folder, where a user's pictures and anything beside
// them lie.
TEST_F(CliTool, LooksForLibrariesOnlyInItsOwnFolders) {
  const std::vector<std::string> tried =
      LibraryFilesTried(folder_.Path(), BinaryFolder() / "tessary-cli");
  EXPECT_FALSE(tried.empty());
  for (const std::string& file : tried) {
    EXPECT_TRUE(fs::path(file).is_absolute()) << file;
  }
}

// The installed tree: the CLI converts from it and the program finds its
// loader library in the private library folder.
TEST_F(CliTool, WorksFromAnInstalledTree) {
  if (!fs::exists(BinaryFolder() / "Tessary")) {
    GTEST_SKIP() << "this build has no program to install";
  }
  TempFolder root;
  const Outcome install = RunCommand("DESTDIR='" + root.Path().string() + "' cmake --install '" +
                                     TESSARY_BUILD_DIR + "' --prefix /usr");
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path usr = root.Path() / "usr";
  EXPECT_TRUE(fs::exists(usr / TESSARY_INSTALL_LIBDIR / "libVantrel.so"));
  EXPECT_TRUE(fs::exists(usr / "share/icons/hicolor/48x48/apps/tessary.png"));
  EXPECT_TRUE(fs::exists(usr / "share/man/man1/tessary-cli.1.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/man/man1/Tessary.1.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/doc/tessary/changelog.gz"));
  EXPECT_TRUE(fs::exists(usr / "share/bash-completion/completions/tessary-cli"));
  EXPECT_TRUE(fs::exists(usr / "share/doc/tessary/copyright"));

  // Software centres read the desktop entry and the AppStream file only if
  // their validators accept them.
  const fs::path desktopEntry = usr / "share/applications/tessary.desktop";
  const Outcome entryCheck = RunCommand("desktop-file-validate '" + desktopEntry.string() + "'");
  EXPECT_EQ(entryCheck.status, 0) << entryCheck.output;
  const fs::path metainfo = usr / "share/metainfo/org.example.tessary.metainfo.xml";
  const Outcome metainfoCheck =
      RunCommand("appstreamcli validate --no-net '" + metainfo.string() + "'");
  EXPECT_EQ(metainfoCheck.status, 0) << metainfoCheck.output;

  // Installed, the programs look for libraries in the private folder and
  // the system's, never in the current folder or among the programs.
  const std::vector<std::string> tried = LibraryFilesTried(folder_.Path(), usr / "bin/tessary-cli");
  EXPECT_FALSE(tried.empty());
  for (const std::string& file : tried) {
    EXPECT_TRUE(fs::path(file).is_absolute()) << file;
    EXPECT_FALSE(fs::path(file).lexically_normal().string().starts_with((usr / "bin/").string()))
        << file;
  }

  Tiff("a.tif", true, 3);
  const Outcome convert = RunCommand(
      InFolder(folder_.Path(), "'" + (usr / "bin/tessary-cli").string() + "'", "convert a.tif"));
  EXPECT_EQ(convert.status, 0) << convert.output;
  EXPECT_EQ(ReadBytes(folder_.File("a.bmp")).at(28), 24);

  // The program loads its loader library at start-up; the dynamic loader's
  // trace shows from where. (It then waits in its dialog until stopped.)
  const std::string library = (usr / "bin/.." / TESSARY_INSTALL_LIBDIR / "libVantrel.so").string();
  int trace = -1;
  const pid_t program = Start({"Tessary"}, trace, usr / "bin/Tessary",
                              {{"QT_QPA_PLATFORM", "offscreen"}, {"LD_DEBUG", "files"}});
  EXPECT_NE(ReadUntil(trace, library).find(library), std::string::npos);
  kill(program, SIGKILL);
  ExitStatus(program);
  close(trace);
}

}  // namespace
