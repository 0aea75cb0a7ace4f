// Renders the editor of a fresh Kestrune (every parameter at its default) off screen and
// writes editor.png (800 x 400) and editor@2x.png (1600 x 800) into the given folder.

#include <editor/PluginEditor.h>
#include <plugin/PluginProcessor.h>

#include <iostream>
#include <memory>

namespace
{
bool writePng (const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream (image, out);
}
} // namespace

int main (int argc, char** argv)
{
    const juce::File folder = juce::File::getCurrentWorkingDirectory().getChildFile (argc > 1 ? argv[1] : "docs");
    if (! folder.createDirectory())
    {
        std::cerr << "kestrune-screenshot: cannot create " << folder.getFullPathName() << "\n";
        return 1;
    }

    juce::ScopedJuceInitialiser_GUI gui;
    TWKestruneAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());

    for (const auto& [scale, name] : { std::pair{ 1.0f, "editor.png" }, std::pair{ 2.0f, "editor@2x.png" } })
    {
        const auto image = editor->createComponentSnapshot (editor->getLocalBounds(), true, scale);
        const auto file = folder.getChildFile (name);
        if (! writePng (image, file))
        {
            std::cerr << "kestrune-screenshot: cannot write " << file.getFullPathName() << "\n";
            return 1;
        }
        std::cout << file.getFullPathName() << " (" << image.getWidth() << " x " << image.getHeight() << ")\n";
    }
    return 0;
}
