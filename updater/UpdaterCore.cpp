// Logic of the updater subsystem.
namespace tunora {}
