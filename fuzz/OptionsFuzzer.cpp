// The opts file as start-up reads it, then through the options dialog's form.
#include "FuzzSupport.h"

#include "settings/OptionsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::ClearDataFolder();
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/opts"),
                    QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    Options loaded = OptionsStartValues();
    LoadOptions(loaded);
    // Opening the dialog and confirming it unchanged must not fail or hang.
    Options confirmed;
    SaveOptions(FormFromOptions(loaded), confirmed);

    // What was read is what a later start reads back after it was written.
    Fuzz::ClearDataFolder();
    if (!WriteOptions(loaded))
        return 0; // a text holding a line break is refused, not written shifted
    Options again = OptionsStartValues();
    LoadOptions(again);
    Fuzz::Check(again == loaded);
    return 0;
}
