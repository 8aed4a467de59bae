#pragma once
// One screen output per attached screen, named "DVI (n)" with one mode "<width>x<height>": the
// screen's logical size scaled by its device pixel ratio, the pixels GL draws into.

#include <memory>
#include <vector>

class KLVDeviceController;
class ssDVIOutput;

class KLVScreenOutputs {
public:
    // Reads QGuiApplication::screens(); a QGuiApplication must exist.
    void rebuild();
    // Registers every screen output with the registry.
    void registerWith(KLVDeviceController& registry);
    const std::vector<std::unique_ptr<ssDVIOutput>>& outputs() const { return outputs_; }

private:
    // Outputs of an earlier screen list stay alive: channels may still draw through them.
    std::vector<std::unique_ptr<ssDVIOutput>> retired_;
    std::vector<std::unique_ptr<ssDVIOutput>> outputs_;
};
