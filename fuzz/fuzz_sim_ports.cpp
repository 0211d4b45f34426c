// A simulated-port description (a *.port file in TAMO_SIM_DIR), parsed the way
// the port enumerator reads each file on every discovery poll. A description
// that parses names a port and carries identifiers that fit 16 bits; one that
// does not says why.
#include "FuzzSupport.h"

#include "PortEnumerator.h"

#include <cstdlib>

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString why;
    const SerialPortFacts facts = PortEnumerator::parseDescription(FuzzSupport::bytes(data, size), &why);
    if (facts.isNull() == why.isEmpty())
        std::abort(); // refused without a reason, or a reason with facts
    if (!facts.isNull() && (facts.portName.isEmpty() || !facts.simulated))
        std::abort();
    keep(facts.vendorId, facts.productId, facts.hasVendorId, facts.hasProductId, facts.serialNumber.size(),
         facts.description.size(), why.size());
    return 0;
}
