#include "RealServices.h"

namespace tarnwick {

RealServices::RealServices() : services(servicesOf(*this)) {}

std::unique_ptr<RealServices> makeRealServices() { return std::make_unique<RealServices>(); }

}  // namespace tarnwick
