// Windows of the freedb subsystem.
namespace tunora {}
