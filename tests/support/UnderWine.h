// Whether the test program is a Windows program running under Wine, where a few things of the
// real system are not there to be tested.
#pragma once

namespace dikton::test {

bool UnderWine();

}  // namespace dikton::test
