#include "errors.h"

namespace vexq4::clprotocol {

std::string_view ErrorText(CLINT32 code) {
  switch (code) {
    case CL_ERR_NO_ERR:
      return "No error.";
    case CL_ERR_BUFFER_TOO_SMALL:
      return "The buffer is too small; the size needed was given back.";
    case CL_ERR_MANU_DOES_NOT_EXIST:
      return "The manufacturer does not exist.";
    case CL_ERR_PORT_IN_USE:
      return "The port is in use.";
    case CL_ERR_TIMEOUT:
      return "Time-out: the camera did not answer in time, or a pending write took longer "
             "than it ever should.";
    case CL_ERR_INVALID_INDEX:
      return "Invalid index.";
    case CL_ERR_INVALID_REFERENCE:
      return "Invalid reference.";
    case CL_ERR_ERROR_NOT_FOUND:
      return "No text for this error code.";
    case CL_ERR_BAUD_RATE_NOT_SUPPORTED:
      return "Baud rate not supported: the RX-Q4 runs at 9600 baud only.";
    case CL_ERR_OUT_OF_MEMORY:
      return "Out of memory.";
    case CL_ERR_REGISTRY_KEY_NOT_FOUND:
      return "Registry key not found.";
    case CL_ERR_INVALID_PTR:
      return "A pointer argument is null (or the serial object is missing).";
    case CL_ERR_IN_USE:
      return "The library is initialised already (clpInitLib called twice).";
    case CL_ERR_UNABLE_TO_LOAD_DLL:
      return "Unable to load the library.";
    case CL_ERR_FUNCTION_NOT_FOUND:
      return "Function not found.";
    case CL_ERR_PENDING_WRITE:
      return "The write is still under way (the camera's 600 ms command gap, or auto "
             "shading): call clpContinueWriteRegister.";
    case CL_ERR_INVALID_DEVICEID:
      return "Not a DeviceID or DeviceID template of this library (VEX#RXQ4...).";
    case CL_ERR_NO_DEVICE_FOUND:
      return "No RX-Q4 found: nothing answered at 9600 baud, the answers were not an "
             "RX-Q4's, or it is not the camera the DeviceID names.";
    case CL_ERR_NO_XMLDESCRIPTION_FOUND:
      return "No XML description for this XML ID.";
    case CL_ERR_INVALID_COOKIE:
      return "Invalid cookie: no open connection has it (disconnected, or never given out).";
    case CL_ERR_GET_LAST_ERROR:
      return "Asks for the last error of the connection the cookie names.";
    case CL_ERR_PARAM_NOT_SUPPORTED:
      return "Parameter not supported.";
    case CL_ERR_PARAM_READ_ONLY:
      return "The parameter is read only.";
    case CL_ERR_PARAM_DATA_SIZE:
      return "The parameter's buffer has the wrong size (4 bytes for a 32-bit value).";
    case CL_ERR_PARAM_DATA_VALUE:
      return "The parameter's value is not taken.";
    case VEXQ4_CLP_E_NO_REGISTER:
      return "No register at this address, or the access spans two registers.";
    case VEXQ4_CLP_E_PART_OF_INTEGER:
      return "An integer register must be read or written whole (4 bytes at its address).";
    case VEXQ4_CLP_E_READ_ONLY:
      return "The register is read only.";
    case VEXQ4_CLP_E_VALUE_REFUSED:
      return "Value refused, nothing sent: outside the feature's range, UserSetSave with "
             "Default selected, or a user ID the camera does not take.";
    case VEXQ4_CLP_E_CAMERA_OFFLINE:
      return "The camera stopped answering; the library tries to reach it again before the "
             "next access.";
    case VEXQ4_CLP_E_NOT_ACKNOWLEDGED:
      return "The camera did not acknowledge the command (no COMPLETE).";
    case VEXQ4_CLP_E_MALFORMED_ANSWER:
      return "The camera's answer was not understood.";
    case VEXQ4_CLP_E_CAMERA_FAILED:
      return "The camera exchange failed.";
    case VEXQ4_CLP_E_NO_WRITE_PENDING:
      return "No write is pending on this connection.";
    case VEXQ4_CLP_E_ACCESS_TOO_LARGE:
      return "Address or size outside the 32-bit register space, or a size of 0.";
    default:
      return {};
  }
}

}  // namespace vexq4::clprotocol
