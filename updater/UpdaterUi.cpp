// Windows of the updater subsystem.
namespace tunora {}
