// The set-up and custom dialogs run by a script, and the stored configuration in
// a file and in the registry.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/win32/win32.h"
#include "sound/dsmnsnd.h"
#include "sound/sound.h"
#include "sound/win32cnf.h"

namespace {

const char kSetupCaption[] = "QUAVR Digital Audio System v1.1.2 Setup";
const char kCustomCaption[] = "QUAVR Custom Sound Quality";

std::string Caption(HWND dialog) {
  char text[128];
  Win32DialogGetText(dialog, text, sizeof text);
  return text;
}

std::string Text(HWND dialog, int id) {
  char text[64];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Acts on each dialog in turn: the actions for the set-up dialog and for the
// custom dialog are separate lists, each entry run at one idle moment.
class Script {
public:
  using Action = std::function<void(HWND)>;
  Script& Setup(Action action) {
    setup_.push_back(std::move(action));
    return *this;
  }
  Script& Custom(Action action) {
    custom_.push_back(std::move(action));
    return *this;
  }
  Script& RefuseCustom() {
    refuseCustom_ = true;
    return *this;
  }
  void Install() {
    Win32DialogScript script;
    script.allowCreate = [this](const char* caption) {
      created_.emplace_back(caption);
      return !(refuseCustom_ && std::string(caption) == kCustomCaption);
    };
    script.step = [this](HWND dialog) {
      bool custom = Caption(dialog) == kCustomCaption;
      auto& actions = custom ? custom_ : setup_;
      std::size_t& next = custom ? nextCustom_ : nextSetup_;
      if (next >= actions.size()) return false;
      actions[next++](dialog);
      return true;
    };
    Win32SetDialogScript(script);
  }
  const std::vector<std::string>& Created() const { return created_; }

private:
  std::vector<Action> setup_;
  std::vector<Action> custom_;
  std::size_t nextSetup_ = 0;
  std::size_t nextCustom_ = 0;
  bool refuseCustom_ = false;
  std::vector<std::string> created_;
};

Script::Action Click(int id) {
  return [id](HWND dialog) { EXPECT_TRUE(Win32DialogClick(dialog, id)); };
}
Script::Action Type(int id, const char* text) {
  return [id, text](HWND dialog) { EXPECT_TRUE(Win32DialogType(dialog, id, text)); };
}

class SoundConfig : public ::testing::Test {
protected:
  void SetUp() override { SoundStartup(); }
  void TearDown() override {
    Win32SetDialogScript({});
    Win32SetDialogPostFailure(false);
    SoundClose();
  }
};

TEST_F(SoundConfig, DefaultsOpenOnMediumStereoAndDefaultCard) {
  Script script;
  script.Setup([](HWND dialog) {
    EXPECT_EQ(Caption(dialog), kSetupCaption);
    for (const SoundQualityPreset& preset : soundQualityPresets) {
      EXPECT_EQ(Checked(dialog, preset.id), preset.id == 1003) << preset.id;
      EXPECT_EQ(Text(dialog, preset.id), preset.text);
    }
    EXPECT_FALSE(Checked(dialog, cnfCustom));
    EXPECT_TRUE(Checked(dialog, cnfStereo));
    EXPECT_FALSE(Checked(dialog, cnfNeverUseDSound));
    EXPECT_EQ(Text(dialog, cnfBufferLength), "500");
    EXPECT_EQ(Text(dialog, cnfDSoundBuffer), "100");
    EXPECT_EQ(SendDlgItemMessageA(dialog, cnfSoundCard, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendDlgItemMessageA(dialog, cnfSoundCard, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Text(dialog, cnfSoundCard), "Default");
    for (int id : {1013, 1014, 1016, 1018, 1024, IDOK, IDCANCEL}) EXPECT_NE(GetDlgItem(dialog, id), nullptr) << id;
    EXPECT_EQ(Text(dialog, 1013), "S&ound Card:");
    EXPECT_EQ(Text(dialog, 1018), "&DirectSound Buffer:");
    EXPECT_EQ(Text(dialog, 1024), "Advanced");
  });
  script.Setup(Click(IDCANCEL));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 0);
  EXPECT_EQ(SoundLastError(), 0);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 44100);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 0);  // cancelled: untouched
}

TEST_F(SoundConfig, APresetAndOkWriteTheOptions) {
  Script script;
  script.Setup(Click(1004)).Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 32000);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 10);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 500);
  EXPECT_EQ(SoundGetDevice(), soundDeviceAuto);
}

TEST_F(SoundConfig, ACustomRateOutsideTheListIsTakenWhenBothDialogsAreConfirmed) {
  Script script;
  script.Setup(Click(cnfCustom))
      .Custom([](HWND dialog) {
        EXPECT_EQ(Caption(dialog), kCustomCaption);
        EXPECT_EQ(SendDlgItemMessageA(dialog, cnfCustomRate, CB_GETCOUNT, 0, 0), 8);
        EXPECT_EQ(SendDlgItemMessageA(dialog, cnfCustomRate, CB_GETCURSEL, 0, 0), 7);  // 44100
        EXPECT_TRUE(Checked(dialog, cnfCustomNormal));
        EXPECT_FALSE(Checked(dialog, cnfCustomInterpolating));
        EXPECT_EQ(Text(dialog, 1020), "Mixing Rate:");
        EXPECT_EQ(Text(dialog, 1021), "Mixing Mode");
      })
      .Custom(Type(cnfCustomRate, "30000"))
      .Custom(Click(cnfCustomInterpolating))
      .Custom(Click(IDOK))
      .Setup([](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, cnfCustom));
        EXPECT_TRUE(IsWindowEnabled(dialog));
      })
      .Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 30000);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
  EXPECT_EQ(script.Created(), (std::vector<std::string>{"QUAVR Digital Audio System Setup", kCustomCaption}));
}

TEST_F(SoundConfig, CustomDialogShowsAnUnlistedRateAndItsCancelKeepsTheWorkingPair) {
  SoundSetOption(soundOptMixRate, 30000);
  SoundSetOption(soundOptInterpolation, 1);
  Script script;
  script.Setup([](HWND dialog) { EXPECT_TRUE(Checked(dialog, cnfCustom)); })  // no preset matches
      .Setup(Click(cnfCustom))
      .Custom([](HWND dialog) {
        EXPECT_EQ(Text(dialog, cnfCustomRate), "30000");
        EXPECT_EQ(SendDlgItemMessageA(dialog, cnfCustomRate, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_TRUE(Checked(dialog, cnfCustomInterpolating));
      })
      .Custom(Type(cnfCustomRate, "8000"))
      .Custom(Click(IDCANCEL))
      .Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 30000);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
}

TEST_F(SoundConfig, APresetChosenAfterTheCustomDialogOverridesIt) {
  Script script;
  script.Setup(Click(cnfCustom))
      .Custom([](HWND dialog) { Win32DialogChoose(dialog, cnfCustomRate, 1); })  // 11025
      .Custom(Click(IDOK))
      .Setup(Click(1001))
      .Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 22050);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 0);
}

TEST_F(SoundConfig, EditsStereoCardAndDirectSoundBox) {
  Script script;
  script.Setup(Type(cnfBufferLength, ""))
      .Setup(Type(cnfDSoundBuffer, "250"))
      .Setup(Click(cnfStereo))
      .Setup(Click(cnfNeverUseDSound))
      .Setup([](HWND dialog) { EXPECT_TRUE(Win32DialogChoose(dialog, cnfSoundCard, 0)); })
      .Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 500);  // empty: unchanged
  EXPECT_EQ(SoundGetOption(soundOptDSoundBufferLength), 250);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 9);
  EXPECT_EQ(SoundGetNeverUseDirectSound(), 1);
  EXPECT_EQ(SoundGetDevice(), soundDeviceNoSound);
  // "No Sound" makes SoundInit take the no-sound device without detection.
  Win32UseVirtualAudio(true, 1);
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &NoSoundDevice);
  EXPECT_EQ(Win32VirtualAudioOpenLog().size(), 0u);
  SoundClose();
  Win32UseVirtualAudio(false);
}

TEST_F(SoundConfig, StereoStartsTickedOnlyForModesWithTheStereoBit) {
  for (auto [mode, ticked] : {std::pair{0, true}, std::pair{10, true}, std::pair{9, false}, std::pair{2, true}}) {
    SoundSetOption(soundOptOutputMode, mode);
    bool seen = !ticked;
    Script script;
    script.Setup([&seen](HWND dialog) { seen = Checked(dialog, cnfStereo); }).Setup(Click(IDCANCEL));
    script.Install();
    SoundConfigDialog();
    EXPECT_EQ(seen, ticked) << mode;
  }
}

TEST_F(SoundConfig, DialogsThatCannotBeShownFailWithError1) {
  // No script and no display: DialogBox fails.
  EXPECT_EQ(SoundConfigDialog(), 0);
  EXPECT_EQ(SoundLastError(), 1);

  Script refuse;
  refuse.RefuseCustom().Setup(Click(cnfCustom));
  refuse.Install();
  EXPECT_EQ(SoundConfigDialog(), 0);
  EXPECT_EQ(SoundLastError(), 1);

  Script noPost;
  noPost.Setup([](HWND) { Win32SetDialogPostFailure(true); }).Setup(Click(cnfCustom));
  noPost.Install();
  EXPECT_EQ(SoundConfigDialog(), 0);
  EXPECT_EQ(SoundLastError(), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 44100);
}

TEST_F(SoundConfig, NonDigitTextLeavesTheBufferLengthsAlone) {
  Script script;
  script.Setup([](HWND dialog) {
          // Set as a program would (typing drops non-digits): text starting with a letter.
          SetDlgItemTextA(dialog, cnfBufferLength, "x12");
          SetDlgItemTextA(dialog, cnfDSoundBuffer, "99999999999999999999");
        })
      .Setup(Click(IDOK));
  script.Install();
  EXPECT_EQ(SoundConfigDialog(), 1);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 500);
  EXPECT_EQ(SoundGetOption(soundOptDSoundBufferLength), 0xFFFFFFFFll);  // stops at the largest number
}

// ---- Stored configuration ----

// Private to this process: each test case runs as a process of its own, and two at
// once must not share a registry or configuration file.
std::string Scratch(const char* name) {
  return ::testing::TempDir() + "win32cnf_" + std::to_string(getpid()) + "_" + name;
}

TEST_F(SoundConfig, FileHoldsFiveLittleEndianNumbersInTwentyBytes) {
  std::string path = Scratch("file.cfg");
  std::remove(path.c_str());
  SoundSetOption(soundOptMixRate, 22050);
  SoundSetOption(soundOptOutputMode, 9);
  SoundSetOption(soundOptInterpolation, 1);
  SoundSetOption(soundOptBufferLength, 0x01020304);
  SoundSetOption(soundOptDSoundBufferLength, 120);
  ASSERT_EQ(SoundSaveConfig(path.c_str()), 1);
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 20u);
  const std::vector<unsigned char> expected = {0x22, 0x56, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0,
                                               4,    3,    2, 1, 120, 0, 0, 0};
  EXPECT_EQ(bytes, expected);

  SoundStartup();
  ASSERT_EQ(SoundLoadConfig(path.c_str()), 1);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 22050);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 9);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 0x01020304);
  EXPECT_EQ(SoundGetOption(soundOptDSoundBufferLength), 120);
  std::remove(path.c_str());
}

TEST_F(SoundConfig, ShortFilesApplyWhatTheyHoldAndMissingFilesNothing) {
  std::string path = Scratch("short.cfg");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("\x40\x1f\x00\x00\x05\x00\x00\x00\x02\x00", 10);
  }
  const std::intptr_t interpolation = SoundGetOption(soundOptInterpolation);
  EXPECT_EQ(SoundLoadConfig(path.c_str()), 0);
  EXPECT_EQ(SoundLastError(), errEndOfFile);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 8000);  // the values before the end stay
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 5);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), interpolation);
  std::remove(path.c_str());
  EXPECT_EQ(SoundLoadConfig(path.c_str()), 0);
  EXPECT_EQ(SoundLastError(), errFileNotFound);
  EXPECT_EQ(SoundSaveConfig((Scratch("no-such-dir") + "/x/y.cfg").c_str()), 0);
  EXPECT_NE(SoundLastError(), errOK);
}

TEST_F(SoundConfig, StoredValuesAreRestoredAsSaved) {
  std::string path = Scratch("stored.cfg");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("\x22\x56\x00\x00\x0a\x00\x00\x00\x02\x00\x00\x00\xf4\x01\x00\x00\xe8\x03\x00\x00", 20);
  }
  EXPECT_EQ(SoundLoadConfig(path.c_str()), 1);
  // Interpolation 2 is kept as it is, not narrowed to 0 as SoundSetOption would.
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 2);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 22050);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 500);
  std::remove(path.c_str());
}

class SoundConfigRegistry : public SoundConfig {
protected:
  void SetUp() override {
    SoundConfig::SetUp();
    path_ = Scratch("registry");
    std::remove(path_.c_str());
    Win32SetRegistryFile(path_.c_str());
  }
  void TearDown() override {
    Win32SetRegistryFile(nullptr);
    std::remove(path_.c_str());
    SoundConfig::TearDown();
  }
  std::string path_;
};

TEST_F(SoundConfigRegistry, RoundTripThroughFiveDwordValues) {
  SoundSetOption(soundOptMixRate, 32000);
  SoundSetOption(soundOptOutputMode, 9);
  SoundSetOption(soundOptInterpolation, 1);
  SoundSetOption(soundOptBufferLength, 300);
  SoundSetOption(soundOptDSoundBufferLength, 80);
  ASSERT_EQ(SoundWriteConfigRegistry(HKEY_CURRENT_USER, "Software\\Demo\\Sound"), 1);
  EXPECT_EQ(SoundLastError(), 0);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Demo\\Sound", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "DSoundBufferLength", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 80u);
  RegCloseKey(key);

  SoundStartup();
  Win32SetRegistryFile(path_.c_str());  // read back from the file itself
  ASSERT_EQ(SoundReadConfigRegistry(HKEY_CURRENT_USER, "Software\\Demo\\Sound"), 1);
  EXPECT_EQ(SoundLastError(), 0);
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 32000);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 9);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 300);
  EXPECT_EQ(SoundGetOption(soundOptDSoundBufferLength), 80);
}

TEST_F(SoundConfigRegistry, AMissingOrMistypedValueStopsTheReadWithError1) {
  EXPECT_EQ(SoundReadConfigRegistry(HKEY_CURRENT_USER, "Software\\Absent"), 0);
  EXPECT_EQ(SoundLastError(), 1);

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Partial", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  DWORD rate = 16000, mode = 5;
  RegSetValueExA(key, "MixingRate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&rate), 4);
  RegSetValueExA(key, "OutputMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), 4);
  RegSetValueExA(key, "Interpolation", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  RegCloseKey(key);
  EXPECT_EQ(SoundReadConfigRegistry(HKEY_CURRENT_USER, "Software\\Partial"), 0);
  EXPECT_EQ(SoundLastError(), 1);
  // The values read before the bad one stay applied.
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 16000);
  EXPECT_EQ(SoundGetOption(soundOptOutputMode), 5);
  EXPECT_EQ(SoundGetOption(soundOptBufferLength), 500);
}

}  // namespace
