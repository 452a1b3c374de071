#include "Exception.h"

#include "TextCodec.h"

Exception::Exception(std::wstring message)
    : FMessage(std::move(message)), FNarrow(WideToUtf8(FMessage))
{
}
