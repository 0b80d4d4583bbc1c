#include "tools/drivesim/SimWiring.h"

#include <system_error>

#include "platform/Folders.h"
#include "tools/drivesim/AdsServer.h"
#include "tools/drivesim/BridgeServer.h"
#include "tools/drivesim/CommServer.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimDriveModel.h"

namespace drivesim {

namespace {

constexpr uint16_t kVendorCode = 6871;
constexpr uint32_t kBootCode = 300;

CanObject Text(const std::string& text) {
    CanObject object;
    object.data.assign(text.begin(), text.end());
    object.writable = false;
    object.domain = true;
    return object;
}

}  // namespace

std::filesystem::path DefaultDescriptionPath() {
    std::error_code ec;
    const std::filesystem::path candidates[] = {
        platform::ProgramDataFolder() / "Xml" / kSimulatedDriveDescription,
        std::filesystem::path(TUNOVA_SOURCE_DATA_DIR) / "Xml" / kSimulatedDriveDescription,
    };
    for (const auto& path : candidates)
        if (std::filesystem::is_regular_file(path, ec)) return path;
    return {};
}

void DescribeModbusDrive(SimDrive& drive, const std::shared_ptr<SimDriveModel>& model) {
    const SimIdentity& id = model->Description().identity;
    drive.SetRegister(33, kVendorCode);
    drive.SetRegister(250, 1);  // the version browse is there: the identity texts tell the rest
    drive.SetRegisters(251, {0, 0});
    drive.SetRegister(15, 0);  // no major-only boot version
    drive.SetRegister(1101, 0);
    // The registers the engine's node guard probes on serial (40) and box (100, 101) channels.
    drive.SetRegister(40, 0);
    drive.SetRegisters(100, {0, 0});
    for (const auto& [address, text] :
         {std::pair{uint16_t{110}, id.HardwareText()}, {uint16_t{114}, id.FirmwareText()}}) {
        SimDomain domain;
        domain.bytes.assign(text.begin(), text.end());
        domain.writable = false;
        drive.SetDomain(address, domain);
    }
    drive.AddComponent({id.hardwareCode, 1, 0, 0, 0, 0, {{1, 1}}});
    drive.AddComponent({kBootCode, 1, 2, 0, 0, 0, {{1, 2}}});
    drive.AddComponent({static_cast<uint32_t>(id.firmwareCode),
                        static_cast<uint32_t>(id.major),
                        static_cast<uint32_t>(id.minor),
                        static_cast<uint32_t>(id.patch),
                        id.preState,
                        id.preNumber,
                        {{1, 3}, {2, kVendorCode}}});
    drive.SetModel(model);
}

void DescribeEcatSlave(EcatSlave& slave, const std::shared_ptr<SimDriveModel>& model) {
    const SimIdentity& id = model->Description().identity;
    slave.SetText(0x1009, 0, id.HardwareText());
    slave.SetText(0x100A, 0, id.FirmwareText());
    slave.SetU16(0x5FFD, 0x0E, kVendorCode, false);
    slave.model = model;
}

void DescribeBridgeNode(BridgeSimNode& node, const std::shared_ptr<SimDriveModel>& model) {
    const SimIdentity& id = model->Description().identity;
    node.SetU16(0x5FFD, 14, kVendorCode);
    node.SetU16(0x5FF2, 1, 1);
    node.SetText(0x1009, 0, id.HardwareText());
    node.SetText(0x100A, 0, id.FirmwareText());
    node.model = model;
}

void DescribeCommNode(CommServer& server, uint16_t network, uint16_t node,
                      const std::shared_ptr<SimDriveModel>& model) {
    const SimIdentity& id = model->Description().identity;
    server.AddNode(network, node);
    server.SetValue(network, node, 0x5FFD, 0x0E, kVendorCode, 2);
    server.SetValue(network, node, 0x5FF2, 0x01, 1, 2);
    server.SetObject(network, node, 0x1009, 0, Text(id.HardwareText()));
    server.SetObject(network, node, 0x100A, 0, Text(id.FirmwareText()));
    server.SetNodeModel(network, node, model);
}

}  // namespace drivesim
