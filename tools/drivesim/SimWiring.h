#pragma once

// Puts one described drive on the wires: the identity each wire's identification reads, and the
// model behind the variables.

#include <cstdint>
#include <filesystem>
#include <memory>

namespace drivesim {

class SimDrive;
class SimDriveModel;
class CommServer;
struct EcatSlave;
struct BridgeSimNode;

// The file name of the simulated drive's own description in the program's "Xml" data folder.
constexpr const char* kSimulatedDriveDescription = "1234_2_3_1.xml";

// The simulated drive's description: in the program's data folder when installed or built, else
// in the source tree; empty when neither has it.
std::filesystem::path DefaultDescriptionPath();

// Identity registers and texts, version browse components and the model.
void DescribeModbusDrive(SimDrive& drive, const std::shared_ptr<SimDriveModel>& model);
// Identity texts and the model (the slave's browse objects come from a lent SimDrive).
void DescribeEcatSlave(EcatSlave& slave, const std::shared_ptr<SimDriveModel>& model);
void DescribeBridgeNode(BridgeSimNode& node, const std::shared_ptr<SimDriveModel>& model);
void DescribeCommNode(CommServer& server, uint16_t network, uint16_t node,
                      const std::shared_ptr<SimDriveModel>& model);

}  // namespace drivesim
