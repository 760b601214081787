// Logic of the burn subsystem.
namespace tunora {}
