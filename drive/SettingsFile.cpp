#include "drive/SettingsFile.h"

#include <system_error>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

using namespace foundation;

namespace drive {

namespace {

const char* const kChannelNames[4] = {"Ch1", "Ch2", "Ch3", "Ch4"};
const char* const kOldChannelNames[4] = {"Channell1", "Channell2", "Channell3", "Channell4"};
const char* const kVarNames[4] = {"Var1", "Var2", "Var3", "Var4"};
const char* const kColumnNames[4] = {"ColWidth_Name", "ColWidth_DataType", "ColWidth_Value",
                                     "ColWidth_Quality"};
constexpr int32_t kColumnDefaults[4] = {250, 100, 100, 100};
// Longest path the settings keep; longer texts come from damaged files.
constexpr size_t kMaxPath = 260;

// Flags stored as "0"/"1" count as set only for exactly 1.
bool GetFlag(const CXmlNode& node, const char* name, bool missing) {
    return node.GetAttributeInt(name, missing ? 1 : 0) == 1;
}

void SetFlag(CXmlNode& node, const char* name, bool value) {
    node.SetAttribute(name, value ? "1" : "0");
}

void SetBool(CXmlNode& node, const char* name, bool value) {
    node.SetAttribute(name, value ? "True" : "False");
}

bool SaveDocument(CXmlDocument& doc, const std::filesystem::path& path, std::string* error) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    if (doc.Save(path) == S_OK) return true;
    if (error) *error = "Cannot write the settings file '" + path.string() + "'";
    return false;
}

}  // namespace

std::filesystem::path CSettingsFile::ProgramSettingsPath(const std::filesystem::path& folder) {
    return folder / "Tunova.ini";
}

std::filesystem::path CSettingsFile::DefaultProgramSettingsPath() {
    return ProgramSettingsPath(platform::ConfigFolder());
}

std::filesystem::path CSettingsFile::DeviceSettingsPath(const std::filesystem::path& programPath,
                                                        uint32_t group, bool linear) {
    std::string name = programPath.stem().string();
    name += std::to_string(group);
    if (linear) name += 'L';
    name += programPath.extension().string();
    return programPath.parent_path() / name;
}

void CSettingsFile::SetDefaultLayout() {
    s_.Dock = kDockBottom;
    s_.X = 0;
    s_.Y = 0;
    s_.Width = 560;
    s_.Height = 150;
    for (int i = 0; i < 4; ++i) s_.ColWidth[i] = kColumnDefaults[i];
}

void CSettingsFile::SetDefaultSettings() {
    s_.DontDisplayConnect = 0;
    s_.DontDisplayPermanent = 0;
    s_.DontDisplayStimulus = 0;
    s_.DontDisplayAutotune = 0;
    s_.DontDisplayExtAutotune = 0;
    s_.DontDisplayFwParameters = 0;
    s_.ProgramAskSavePermanentMemory = true;
    s_.ProgramSavePermanentMemory = true;
    s_.ParamAskSavePermanentMemory = true;
    s_.ParamSavePermanentMemory = true;
    s_.ParamButtonDontAskConfirmSaveAllParam = false;
    s_.DontAskLargeFonts = 0;
    s_.DontAskScreenLess = 0;
    s_.DontAskSafety = false;
    s_.SafetySafePlc = true;
    s_.ExportCvsDecimalSymbol = "?";
    s_.connection.SetDefaults();

    s_.AutoscaleMode = 0;
    s_.PanesPosX = s_.PanesPosY = -1000;
    s_.OscPosX = s_.OscPosY = -1000;
    s_.OscWidth = 599;
    s_.OscHeight = 317;
    s_.TriggerLinkedTo = 1;
    s_.TriggerMode = "Auto";
    s_.SamplingTime = 1;
    s_.TriggerValue = "0";
    s_.PretriggerValue = "0";
    s_.SamplingTimeCode = 0;
    s_.TriggerShow = false;
    s_.TriggerSingle = true;
    s_.TriggerRising = true;
    s_.TriggerPosX = s_.TriggerPosY = -1000;

    s_.LoadPreset = true;
    s_.ApplyToValue = 0;
    s_.RefSelector = 0;
    s_.Amplitude = "0";
    s_.Frequency = 0;
    s_.Duration = 0;
    s_.AbsoluteMov = false;
    s_.RepetetiveMov = false;
    s_.ForwardReverseMov = 0;
    s_.MovementDelay = 10;
    s_.ProfileVel = 0;
    s_.ProfilePos = 0;

    s_.ShowAddressColumn = 1;
    s_.OrderColumnNumber = 0;
    s_.OrderFl = true;
    s_.ParametersPath.clear();
    s_.ProgramsPath.clear();
    s_.ProgramFileName.clear();
    for (std::string& v : s_.Var) v.clear();
    SetDefaultLayout();
}

void CSettingsFile::ResetWindowPositions() {
    s_.PanesPosX = 100;
    s_.PanesPosY = 512;
    s_.OscPosX = 100;
    s_.OscPosY = 0;
    s_.OscWidth = 1005;
    s_.OscHeight = 512;
    s_.TriggerPosX = 949;
    s_.TriggerPosY = 512;
}

void CSettingsFile::ClearOverlongPaths() {
    for (std::string* p : {&s_.ParametersPath, &s_.CmpPath, &s_.ProgramsPath, &s_.ProgramFileName}) {
        if (p->size() > kMaxPath) p->clear();
    }
}

void CSettingsFile::ValidateOutputLayout() {
    const ScreenArea screen = host_.VirtualScreen();
    if (s_.Width < 10 || s_.Height < 10 || s_.Width > screen.width || s_.Height > screen.height) {
        s_.Width = 560;
        s_.Height = 150;
    }
    if (s_.Dock == kDockFloating) {
        if (s_.X + 20 > screen.width) s_.X = 10;
        if (s_.Y + 20 > screen.height) s_.Y = 10;
        if (s_.X < screen.left - 10) s_.X = 0;
        if (s_.Y < screen.top - 10) s_.Y = 0;
    }
    for (int i = 0; i < 4; ++i) {
        if (s_.ColWidth[i] < 1 || s_.ColWidth[i] > screen.width) s_.ColWidth[i] = kColumnDefaults[i];
    }
}

void CSettingsFile::ReadTriggerCore(const CXmlNode& t, bool version9) {
    if (version9) s_.TriggerLinkedTo = static_cast<int16_t>(t.GetAttributeInt("LinkedTo", 1));
    s_.TriggerMode = t.GetAttribute("Mode", "Auto");
    s_.SamplingTime = t.GetAttributeInt("SamplingTime", 1);
    s_.TriggerValue = t.GetAttribute("Value", "0");
    s_.PretriggerValue = t.GetAttribute("PretriggerValue", "0");
    s_.SamplingTimeCode = t.GetAttributeInt("SamplingTimeCode", 0);
    s_.TriggerShow = GetFlag(t, "Show", false);
    s_.TriggerSingle = GetFlag(t, "Single", false);
    s_.TriggerRising = GetFlag(t, "Rising", true);
}

void CSettingsFile::ReadOscilloscope(const CXmlNode& osc, bool version9) {
    std::string layout;
    if (osc.GetCData(layout)) s_.OscLayout = layout;
    s_.AutoscaleMode = osc.GetAttributeInt("AutoscaleMode", 0);
    for (int i = 0; i < 4; ++i) {
        host_.SetChannelVariable(i, osc.GetAttribute(version9 ? kChannelNames[i] : kOldChannelNames[i]));
    }
    host_.AssignChannels();
    if (const CXmlNode* trigger = osc.FindNode("TRIGGER")) ReadTriggerCore(*trigger, version9);
}

void CSettingsFile::ReadPositions(const CXmlNode& osc) {
    if (const CXmlNode* panes = osc.FindNode("Panes")) {
        s_.PanesPosX = panes->GetAttributeInt("PosX", -1000);
        s_.PanesPosY = panes->GetAttributeInt("PosY", -1000);
    }
    if (const CXmlNode* window = osc.FindNode("Osc")) {
        s_.OscPosX = window->GetAttributeInt("PosX", -1000);
        s_.OscPosY = window->GetAttributeInt("PosY", -1000);
        s_.OscWidth = window->GetAttributeInt("Width", 1);
        s_.OscHeight = window->GetAttributeInt("Height", 1);
    }
    if (const CXmlNode* trigger = osc.FindNode("TRIGGER")) {
        s_.TriggerPosX = trigger->GetAttributeInt("PosX", -1000);
        s_.TriggerPosY = trigger->GetAttributeInt("PosY", -1000);
    }
}

void CSettingsFile::ReadStimulus(const CXmlNode& n) {
    s_.LoadPreset = n.GetAttributeBool("LoadPreset", true);
    s_.ApplyToValue = n.GetAttributeInt("ApplyToValue", 0);
    s_.RefSelector = n.GetAttributeInt("RefSelector", 0);
    s_.Amplitude = n.GetAttribute("Amplitude", "0");
    s_.Frequency = n.GetAttributeInt("Frequency", 0);
    s_.Duration = n.GetAttributeInt("Duration", 0);
    s_.AbsoluteMov = n.GetAttributeBool("AbsoluteMov", false);
    s_.RepetetiveMov = n.GetAttributeBool("RepetetiveMov", false);
    s_.ForwardReverseMov = n.GetAttributeInt("ForwardReverseMov", 0);
    s_.MovementDelay = n.GetAttributeInt("MovementDelay", 10);
    s_.ProfileVel = n.GetAttributeInt("ProfileVel", 0);
    s_.ProfilePos = n.GetAttributeInt("ProfilePos", 0);
}

void CSettingsFile::ReadOutput(const CXmlNode& root) {
    const CXmlNode* output = root.FindNode("Output");
    if (!output) return;
    s_.Dock = output->GetAttributeInt("Dock", kDockBottom);
    s_.X = output->GetAttributeInt("X", 0);
    s_.Y = output->GetAttributeInt("Y", 0);
    s_.Width = output->GetAttributeInt("Width", 560);
    s_.Height = output->GetAttributeInt("Height", 150);
    ValidateOutputLayout();
    if (const CXmlNode* watch = output->FindNode("Watch")) {
        for (int i = 0; i < 4; ++i)
            s_.ColWidth[i] = watch->GetAttributeInt(kColumnNames[i], kColumnDefaults[i]);
        // The column widths just read get the same screen check as the bar itself.
        ValidateOutputLayout();
    }
}

bool CSettingsFile::LoadProgramSettings(const std::filesystem::path& path, bool newConnectionRequested) {
    CXmlDocument doc;
    // A document that failed to load may still hold the part read before the fault.
    if (doc.Load(path) != S_OK) return false;
    const std::string caption = "Error reading the '" + path.string() + "' file";
    const CXmlNode& root = doc.Root();
    if (root.Name() != kRootName) return false;
    const CXmlNode* main = root.FindNode("MAIN");
    if (!main) {
        if (!newConnectionRequested) {
            platform::Prompts().MessageBox("'<MAIN>' node not found!", caption,
                                           platform::MB_OK | platform::MB_ICONSTOP);
        }
        return false;
    }
    const int version = main->GetAttributeInt("FileVersion", 0);
    if (version > kFileVersion) {
        if (!newConnectionRequested) {
            platform::Prompts().MessageBox(".ini file version greater than .ini interpreter program version!",
                                           caption, platform::MB_OK | platform::MB_ICONSTOP);
        }
        return false;
    }
    if (version < 8) return false;
    const bool version9 = version == kFileVersion;

    if (const CXmlNode* dm = main->FindNode("DISPLAY_MESSAGES")) {
        s_.DontDisplayConnect = dm->GetAttributeInt("DontDisplayConnect", 0);
        s_.DontDisplayPermanent = dm->GetAttributeInt("DontDisplayPermanent", 0);
        s_.DontDisplayStimulus = dm->GetAttributeInt("DontDisplayStimulus", 0);
        s_.DontDisplayAutotune = dm->GetAttributeInt("DontDisplayAutotune", 0);
        s_.DontDisplayExtAutotune = dm->GetAttributeInt("DontDisplayExtAutotune", 0);
        s_.DontDisplayFwParameters = dm->GetAttributeInt("DontDisplayFwParameters", 0);
        s_.ProgramAskSavePermanentMemory = dm->GetAttributeBool("ProgramAskSavePermanentMemory", true);
        s_.ProgramSavePermanentMemory = dm->GetAttributeBool("ProgramSavePermanentMemory", true);
        s_.ParamAskSavePermanentMemory = dm->GetAttributeBool("ParamAskSavePermanentMemory", true);
        s_.ParamSavePermanentMemory = dm->GetAttributeBool("ParamSavePermanentMemory", true);
        s_.ParamButtonDontAskConfirmSaveAllParam =
            dm->GetAttributeBool("ParamButtonDontAskConfirmSaveAllParam", false);
        s_.DontAskLargeFonts = dm->GetAttributeInt("DontAskLargeFonts", 0);
        s_.DontAskScreenLess = dm->GetAttributeInt("DontAskScreenLess", 0);
        s_.DontAskSafety = dm->GetAttributeBool("DontAskSafety", false);
        s_.SafetySafePlc = dm->GetAttributeBool("SafetySafePlc", true);
    }
    if (const CXmlNode* de = main->FindNode("DATA_EXPORT")) {
        s_.ExportCvsDecimalSymbol = de->GetAttribute("ExportCvsDecimalSymbol", "?");
    }

    if (const CXmlNode* connection = root.FindNode("CONNECTION")) {
        s_.connection.LoadSettings(*connection);
        if (const CXmlNode* bridge = connection->FindNode("Bridge")) {
            s_.EthUseFoExFw = GetFlag(*bridge, "EthUseFoExFw", false);
            s_.WizShowBus = GetFlag(*bridge, "WizShowBus", true);
            s_.WizAutoScan = GetFlag(*bridge, "WizAutoScan", false);
        }
    } else {
        platform::Prompts().MessageBox("'<CONNECTION>' node not found!", caption,
                                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }

    const CXmlNode* osc = root.FindNode("OSCILLOSCOPE");
    if (osc) {
        ReadOscilloscope(*osc, version9);
    } else {
        s_.AutoscaleMode = 0;
    }

    if (const CXmlNode* pm = root.FindNode("PERMANENT_MEMORY")) {
        // The older home of these choices fills only what the current element left at its initial value.
        auto legacyInt = [&](int32_t& member, const char* name) {
            if (member == 0) member = pm->GetAttributeInt(name, 0);
        };
        auto legacyBool = [&](bool& member, const char* name, bool initial) {
            if (member == initial) member = pm->GetAttributeBool(name, initial);
        };
        legacyInt(s_.DontDisplayConnect, "DontDisplayConnect");
        legacyInt(s_.DontDisplayPermanent, "DontDisplayPermanent");
        legacyInt(s_.DontDisplayStimulus, "DontDisplayStimulus");
        legacyInt(s_.DontDisplayAutotune, "DontDisplayAutotune");
        legacyInt(s_.DontDisplayExtAutotune, "DontDisplayExtAutotune");
        legacyInt(s_.DontDisplayFwParameters, "DontDisplayFwParameters");
        legacyBool(s_.ProgramAskSavePermanentMemory, "ProgramAskSavePermanentMemory", true);
        legacyBool(s_.ProgramSavePermanentMemory, "ProgramSavePermanentMemory", true);
        legacyBool(s_.ParamAskSavePermanentMemory, "ParamAskSavePermanentMemory", true);
        legacyBool(s_.ParamSavePermanentMemory, "ParamSavePermanentMemory", true);
        legacyBool(s_.ParamButtonDontAskConfirmSaveAllParam, "ParamButtonDontAskConfirmSaveAllParam", false);
        legacyInt(s_.DontAskScreenLess, "DontAskScreenLess");
        legacyInt(s_.DontAskLargeFonts, "DontAskLargeFonts");
    }

    if (const CXmlNode* stimulus = root.FindNode("STIMULUS")) ReadStimulus(*stimulus);

    if (const CXmlNode* rwv = root.FindNode("READ_WRITE_VOCABULARY")) {
        s_.ShowAddressColumn = rwv->GetAttributeInt("ShowAddressColumn", 1);
        s_.OrderColumnNumber = rwv->GetAttributeInt("OrderColumnNumber", 0);
        s_.OrderFl = rwv->GetAttributeInt("OrderFl", 0) == 0;
    } else {
        platform::Prompts().MessageBox("READ_WRITE_VOCABULARY' node not found!", caption,
                                       platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }

    if (const CXmlNode* parameters = root.FindNode("PARAMETERS")) {
        s_.ParametersPath = parameters->GetAttribute("Path");
        s_.CmpPath = parameters->GetAttribute("CmpPath");
        s_.CmpFormat = static_cast<uint8_t>(parameters->GetAttributeInt("CmpFormat", 0));
        s_.CmpSort = static_cast<uint8_t>(parameters->GetAttributeInt("CmpSort", 0));
    }
    if (const CXmlNode* programs = root.FindNode("PROGRAMS")) {
        s_.ProgramsPath = programs->GetAttribute("Path");
        s_.ProgramFileName = programs->GetAttribute("FileName");
    }
    if (const CXmlNode* variables = root.FindNode("VARIABLES")) {
        for (int i = 0; i < 4; ++i) s_.Var[i] = variables->GetAttribute(kVarNames[i], s_.Var[i]);
    }

    if (version9) {
        if (const CXmlNode* ua = root.FindNode("UA")) host_.LoadUnitSettings(*ua);
        if (osc) ReadPositions(*osc);
    }

    ReadOutput(root);

    if (const CXmlNode* diag = root.FindNode("DiagHistory")) {
        s_.UpdateMs = diag->GetAttributeInt("UpdateMs", s_.UpdateMs);
        s_.TimeFormat = static_cast<int16_t>(diag->GetAttributeInt("TimeFormat", s_.TimeFormat));
        s_.ShowUs = static_cast<int16_t>(diag->GetAttributeInt("ShowUs", s_.ShowUs));
        s_.Background = diag->GetAttributeBool("Background", s_.Background);
    }
    return true;
}

void CSettingsFile::WriteOscilloscope(CXmlNode& root) {
    CXmlNode* osc = root.AddChild("OSCILLOSCOPE");
    osc->SetAttributeInt("AutoscaleMode", s_.AutoscaleMode);
    for (int i = 0; i < 4; ++i) {
        std::string name = host_.GetChannelVariable(i);
        if (!name.empty()) osc->SetAttribute(kChannelNames[i], name);
    }
    osc->AddCData(s_.OscLayout);
    CXmlNode* panes = osc->AddChild("Panes");
    panes->SetAttributeInt("PosX", s_.PanesPosX);
    panes->SetAttributeInt("PosY", s_.PanesPosY);
    CXmlNode* window = osc->AddChild("Osc");
    window->SetAttributeInt("PosX", s_.OscPosX);
    window->SetAttributeInt("PosY", s_.OscPosY);
    window->SetAttributeInt("Width", s_.OscWidth);
    window->SetAttributeInt("Height", s_.OscHeight);
    CXmlNode* t = osc->AddChild("TRIGGER");
    t->SetAttributeInt("LinkedTo", s_.TriggerLinkedTo);
    t->SetAttribute("Mode", s_.TriggerMode);
    t->SetAttributeInt("SamplingTime", s_.SamplingTime);
    t->SetAttribute("Value", s_.TriggerValue);
    t->SetAttribute("PretriggerValue", s_.PretriggerValue);
    t->SetAttributeInt("SamplingTimeCode", s_.SamplingTimeCode);
    SetFlag(*t, "Show", s_.TriggerShow);
    SetFlag(*t, "Single", s_.TriggerSingle);
    SetFlag(*t, "Rising", s_.TriggerRising);
    t->SetAttributeInt("PosX", s_.TriggerPosX);
    t->SetAttributeInt("PosY", s_.TriggerPosY);
}

void CSettingsFile::WriteStimulus(CXmlNode& root) const {
    CXmlNode* n = root.AddChild("STIMULUS");
    SetBool(*n, "LoadPreset", s_.LoadPreset);
    n->SetAttributeInt("ApplyToValue", s_.ApplyToValue);
    n->SetAttributeInt("RefSelector", s_.RefSelector);
    n->SetAttribute("Amplitude", s_.Amplitude);
    n->SetAttributeInt("Frequency", s_.Frequency);
    n->SetAttributeInt("Duration", s_.Duration);
    SetBool(*n, "AbsoluteMov", s_.AbsoluteMov);
    SetBool(*n, "RepetetiveMov", s_.RepetetiveMov);
    n->SetAttributeInt("ForwardReverseMov", s_.ForwardReverseMov);
    n->SetAttributeInt("MovementDelay", s_.MovementDelay);
    n->SetAttributeInt("ProfileVel", s_.ProfileVel);
    n->SetAttributeInt("ProfilePos", s_.ProfilePos);
}

void CSettingsFile::WriteVocabulary(CXmlNode& root) const {
    CXmlNode* n = root.AddChild("READ_WRITE_VOCABULARY");
    n->SetAttributeInt("ShowAddressColumn", s_.ShowAddressColumn);
    n->SetAttributeInt("OrderColumnNumber", s_.OrderColumnNumber);
    n->SetAttribute("OrderFl", s_.OrderFl ? "0" : "1");
}

void CSettingsFile::WriteOutput(CXmlNode& root) const {
    CXmlNode* output = root.AddChild("Output");
    output->SetAttributeInt("Dock", s_.Dock);
    output->SetAttributeInt("X", s_.X);
    output->SetAttributeInt("Y", s_.Y);
    output->SetAttributeInt("Width", s_.Width);
    output->SetAttributeInt("Height", s_.Height);
    CXmlNode* watch = output->AddChild("Watch");
    for (int i = 0; i < 4; ++i) watch->SetAttributeInt(kColumnNames[i], s_.ColWidth[i]);
}

bool CSettingsFile::SaveProgramSettings(const std::filesystem::path& path, std::string* error) {
    CXmlDocument doc;
    CXmlNode& root = doc.Root();
    root.SetName(kRootName);
    CXmlNode* main = root.AddChild("MAIN");
    main->SetAttributeInt("FileVersion", kFileVersion);
    CXmlNode* dm = main->AddChild("DISPLAY_MESSAGES");
    dm->SetAttributeInt("DontDisplayConnect", s_.DontDisplayConnect);
    dm->SetAttributeInt("DontDisplayPermanent", s_.DontDisplayPermanent);
    dm->SetAttributeInt("DontDisplayStimulus", s_.DontDisplayStimulus);
    dm->SetAttributeInt("DontDisplayAutotune", s_.DontDisplayAutotune);
    dm->SetAttributeInt("DontDisplayExtAutotune", s_.DontDisplayExtAutotune);
    dm->SetAttributeInt("DontDisplayFwParameters", s_.DontDisplayFwParameters);
    SetBool(*dm, "ProgramAskSavePermanentMemory", s_.ProgramAskSavePermanentMemory);
    SetBool(*dm, "ProgramSavePermanentMemory", s_.ProgramSavePermanentMemory);
    SetBool(*dm, "ParamAskSavePermanentMemory", s_.ParamAskSavePermanentMemory);
    SetBool(*dm, "ParamSavePermanentMemory", s_.ParamSavePermanentMemory);
    SetBool(*dm, "ParamButtonDontAskConfirmSaveAllParam", s_.ParamButtonDontAskConfirmSaveAllParam);
    dm->SetAttributeInt("DontAskLargeFonts", s_.DontAskLargeFonts);
    dm->SetAttributeInt("DontAskScreenLess", s_.DontAskScreenLess);
    SetBool(*dm, "DontAskSafety", s_.DontAskSafety);
    SetBool(*dm, "SafetySafePlc", s_.SafetySafePlc);
    main->AddChild("DATA_EXPORT")->SetAttribute("ExportCvsDecimalSymbol", s_.ExportCvsDecimalSymbol);

    CXmlNode* connection = root.AddChild("CONNECTION");
    s_.connection.SaveSettings(*connection);
    CXmlNode* bridge = connection->AddChild("Bridge");
    SetFlag(*bridge, "EthUseFoExFw", s_.EthUseFoExFw);
    SetFlag(*bridge, "WizShowBus", s_.WizShowBus);
    SetFlag(*bridge, "WizAutoScan", s_.WizAutoScan);

    WriteOscilloscope(root);
    WriteStimulus(root);
    WriteVocabulary(root);
    CXmlNode* parameters = root.AddChild("PARAMETERS");
    parameters->SetAttribute("Path", s_.ParametersPath);
    parameters->SetAttribute("CmpPath", s_.CmpPath);
    parameters->SetAttributeInt("CmpFormat", s_.CmpFormat);
    parameters->SetAttributeInt("CmpSort", s_.CmpSort);
    CXmlNode* programs = root.AddChild("PROGRAMS");
    programs->SetAttribute("Path", s_.ProgramsPath);
    programs->SetAttribute("FileName", s_.ProgramFileName);
    CXmlNode* variables = root.AddChild("VARIABLES");
    for (int i = 0; i < 4; ++i) variables->SetAttribute(kVarNames[i], s_.Var[i]);
    WriteOutput(root);
    host_.SaveUnitSettings(*root.AddChild("UA"));
    CXmlNode* diag = root.AddChild("DiagHistory");
    diag->SetAttributeInt("UpdateMs", s_.UpdateMs);
    diag->SetAttributeInt("TimeFormat", s_.TimeFormat);
    diag->SetAttributeInt("ShowUs", s_.ShowUs);
    SetBool(*diag, "Background", s_.Background);
    return SaveDocument(doc, path, error);
}

void CSettingsFile::LoadDeviceSettings(const std::filesystem::path& programPath,
                                       const DeviceSettingsContext& context) {
    if (context.connected) {
        CXmlDocument doc;
        if (doc.Load(DeviceSettingsPath(programPath, context.deviceGroup, context.linearMotor)) != S_OK)
            return;
        const CXmlNode& root = doc.Root();
        if (root.Name() != kRootName) return;
        const CXmlNode* main = root.FindNode("MAIN");
        if (!main || main->GetAttributeInt("FileVersion", 0) != kFileVersion) return;

        if (const CXmlNode* osc = root.FindNode("OSCILLOSCOPE")) {
            ReadOscilloscope(*osc, true);
            ReadPositions(*osc);
        }
        if (const CXmlNode* stimulus = root.FindNode("STIMULUS")) ReadStimulus(*stimulus);
        if (const CXmlNode* rwv = root.FindNode("READ_WRITE_VOCABULARY")) {
            s_.ShowAddressColumn = rwv->GetAttributeInt("ShowAddressColumn", 2);
            s_.OrderColumnNumber = rwv->GetAttributeInt("OrderColumnNumber", 0);
            s_.OrderFl = rwv->GetAttributeInt("OrderFl", 0) == 0;
        }
        if (const CXmlNode* parameters = root.FindNode("PARAMETERS")) {
            s_.ParametersPath = parameters->GetAttribute("Path");
        }
        if (const CXmlNode* programs = root.FindNode("PROGRAMS")) {
            s_.ProgramsPath = programs->GetAttribute("Path");
            s_.ProgramFileName = programs->GetAttribute("FileName");
        }
        if (const CXmlNode* variables = root.FindNode("VARIABLES")) {
            for (int i = 0; i < 4; ++i) {
                std::string name = variables->GetAttribute(kVarNames[i], s_.Var[i]);
                if (host_.IsDescriptionVariable(name)) s_.Var[i] = name;
            }
        }
        ReadOutput(root);
        if (const CXmlNode* ua = root.FindNode("UA")) host_.LoadUnitSettings(*ua);
    }
    if (context.resetGui) ResetWindowPositions();
}

bool CSettingsFile::SaveDeviceSettings(const std::filesystem::path& programPath,
                                       const DeviceSettingsContext& context, std::string* error) {
    if (!context.connected) return true;
    CXmlDocument doc;
    CXmlNode& root = doc.Root();
    root.SetName(kRootName);
    root.AddChild("MAIN")->SetAttributeInt("FileVersion", kFileVersion);
    WriteOscilloscope(root);
    WriteStimulus(root);
    WriteVocabulary(root);
    root.AddChild("PARAMETERS")->SetAttribute("Path", s_.ParametersPath);
    CXmlNode* programs = root.AddChild("PROGRAMS");
    programs->SetAttribute("Path", s_.ProgramsPath);
    programs->SetAttribute("FileName", s_.ProgramFileName);
    CXmlNode* variables = root.AddChild("VARIABLES");
    for (int i = 0; i < 4; ++i) variables->SetAttribute(kVarNames[i], s_.Var[i]);
    WriteOutput(root);
    host_.SaveUnitSettings(*root.AddChild("UA"));
    return SaveDocument(doc, DeviceSettingsPath(programPath, context.deviceGroup, context.linearMotor),
                        error);
}

}  // namespace drive
