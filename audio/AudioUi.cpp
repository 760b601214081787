// Windows of the audio subsystem.
namespace tunora {}
