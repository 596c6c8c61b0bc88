#pragma once
// The one error value of the library: a kind, a consolidated code, the Win32 and driver numbers
// behind it, and three texts (debug information, user message, code string).
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

enum KEDO2_ERROR_TYPE : uint32_t {
    KEDO2_ERROR_TYPE_NONE = 0,
    KEDO2_ERROR_TYPE_WIN32 = 1,
    KEDO2_ERROR_TYPE_DRIVER = 2,
    KEDO2_ERROR_TYPE_KEDO2 = 4,
};
static_assert(sizeof(KEDO2_ERROR_TYPE) == 4);

class MOX_EXPORT CConsolidatedErrorGenerated {
public:
    // Bits 31-16 name the family, bits 15-0 the code within it; every failure has 0xA0 on top.
    enum KEDO2_ERRORS : uint32_t {
        SUCCESS = 0x20000000,
        WIN32_ERROR = 0x20000001,
        MW_SERVER_SUCCESS = 0x200B0000,
        GENERAL_FAULT = 0xA0000002,
        GENERAL_UNKNOWN_ERROR = 0xA0000003,
        GENERAL_INVALID_VALUE = 0xA0000004,
        GENERAL_NULL_PARAMETER = 0xA0000006,
        GENERAL_INVALID_STATE = 0xA0000008,
        GENERAL_INSUFF_MEM = 0xA000000E,
        GENERAL_NOT_IMPLEMENTED = 0xA0000032,
        DRIVER_BUSY = 0xA00000AA,
        UVI_INSUFFICIENTRESOURCES = 0xA0010001,
        UVI_INVALIDPARAMETER = 0xA0010002,
        UVI_INVALIDHANDLE = 0xA0010003,
        UVI_INVALIDSTRIPSIZE = 0xA0010004,
        UVI_INVALIDSTRING = 0xA0010005,
        UVI_INVALIDSIZE = 0xA0010006,
        UVI_INVALIDRAIDLEVEL = 0xA0010007,
        UVI_INVALIDSESSION = 0xA0010008,
        UVI_TIMEOUT = 0xA0010009,
        UVI_NOTIMPLEMENTED = 0xA001000A,
        UVI_DUPLICATE = 0xA001000B,
        UVI_NOTINITIALIZED = 0xA001000C,
        UVI_BUFFERTOOSMALL = 0xA001000D,
        UVI_NOTSUPPORTED = 0xA001000E,
        UVI_FAILED = 0xA001000F,
        UVI_INTERNALERROR = 0xA0010010,
        UVI_INVALIDSCOPE = 0xA0010011,
        UVI_INVALIDSTATE = 0xA0010012,
        UVI_RETRIESEXCEEDED = 0xA0010013,
        UVI_WRONGPASSWORD = 0xA0010014,
        UVI_DATAEXCEEDSLIMITS = 0xA0010015,
        UVI_INSUFFICIENTPRIVILEGES = 0xA0010016,
        UVI_INVALID_REQUEST = 0xA0010018,
        UVI_SHRINK_FAILED_GENERIC = 0xA001004B,
        UVI_SHRINK_LAST_PARTITION_NOT_DATA = 0xA001004C,
        UVI_SHRINK_LAST_PARTITION_TOO_SMALL = 0xA001004D,
        UVI_SHRINK_NOT_ENOUGH_SPACE = 0xA001004E,
        UVI_NO_CONTROLLER_FOUND = 0xA0010050,
        UVI_SHRINK_REQUESTED_SIZE_LESS_THAN_MIN = 0xA0010051,
        UVI_SHRINK_LAST_PARTITION_NOT_SHRINKABLE = 0xA0010053,
        UVI_SHRINK_NOT_ENOUGH_FREE_SPACE = 0xA0010054,
        UVI_SHRINK_WINRE_REQUIREMENT_FAILED = 0xA0010055,
        UVI_SHRINK_QUERY_DISK_FOR_GPT_ATTRIBUTE_CHANGE_FAILED = 0xA0010056,
        UVI_SHRINK_QUERY_DISK_FOR_PARTITION_TYPE_CHANGE_FAILED = 0xA0010057,
        UVI_SHRINK_GET_PARTITION_PROPS_FAILED = 0xA0010058,
        UVI_SHRINK_INCORRECT_PARTITION_TYPE = 0xA0010059,
        UVI_SHRINK_CHANGE_PARTITION_TYPE_FAILED = 0xA001005A,
        UVI_SHRINK_CHANGE_GPT_ATTRIBUTES_FAILED = 0xA001005B,
        UVI_SHRINK_QUERY_DISK_FOR_FILE_SYSTEM_CHECK_FAILED = 0xA001005C,
        UVI_SHRINK_FILE_SYSTEM_CHECK_FAILED = 0xA001005D,
        UVI_EVENT_WAITINGONRESULT = 0xA001005F,
        UVI_EVENT_SYNCFAULT = 0xA0010060,
        UVI_EVENT_TIMEOUT = 0xA0010061,
        UVI_EVENT_WAIT_FAILED = 0xA0010062,
        UVI_ACTION_VALIDATOR_HAS_USER_DATA = 0xA0010063,
        UVI_ACTION_VALIDATOR_REBOOT_ACTION_DENIED = 0xA0010064,
        UVI_ACTION_VALIDATOR_ROHI_CANT_ENABLE = 0xA0010065,
        UVI_ACTION_VALIDATOR_CLEAR_MD_ACTION_DENIED = 0xA0010066,
        UVI_ACTION_VALIDATOR_DENIED = 0xA0010067,
        UVI_ACTION_VALIDATOR_RAID_ACTION_ON_TG = 0xA0010068,
        UVI_ACTION_VALIDATOR_SUB_CC_SWITCH_FEATURE_NOT_SUPPORTED = 0xA0010069,
        UVI_ACTION_VALIDATOR_SUB_CC_SWITCH_FEATURE_NOT_SUPPORTED_DISK = 0xA001006A,
        UVI_ACTION_VALIDATOR_DISK_NOT_PASS_THRU = 0xA001006B,
        UVI_DISK_IS_WINDOWS_DYNAMIC = 0xA001006C,
        UVI_ACTION_ZRC_REMAP_UNSUPPORTED_CONTROLLER = 0xA001006D,
        UVI_ACTION_ZRC_REMAP_UNSUPPORTED_REMAP_OPERATION = 0xA001006E,
        UVI_ACTION_ZRC_REMAP_UNSUPPORTED_REVERT_OPERATION = 0xA001006F,
        UVI_ACTION_ZRC_REMAP_NOTHING_TO_REMAP = 0xA0010070,
        UVI_ACTION_ZRC_REMAP_NOTHING_TO_REVERT = 0xA0010071,
        UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_READ = 0xA0010072,
        UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_WRITE = 0xA0010073,
        UVI_ACTION_ZRC_REMAP_OPERATION_NO_ZRC_ON_SYSTEM = 0xA0010074,
        UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_READ_TOO_SMALL = 0xA0010075,
        UVI_ACTION_ZRC_REMAP_NOT_SUPPORTED = 0xA0010076,
        UVI_ACTION_ZRC_REMAP_HYBRID_NOT_ALL_MEMBERS = 0xA0010077,
        UVI_ACTION_ZRC_REMAP_HYBRID_MISSING_MEMBER = 0xA0010078,
        UVI_ACTION_ZRC_REMAP_PCI_SWITCH_NOT_ALL_MEMBERS = 0xA0010079,
        UVI_FAULT = 0xA00100C9,
        QEV_FAULT = 0xA0020065,
        QEV_ERROR = 0xA0020066,
        QEV_DATASET = 0xA0020067,
        QEV_MISSING_TABLE = 0xA0020068,
        QEV_MISSING_FIELD = 0xA0020069,
        QEV_MISSING_DISK = 0xA002006A,
        QEV_MISSING_ARRAY = 0xA002006B,
        QEV_MISSING_VOLUME = 0xA002006C,
        QEV_MISSING_DEVICE = 0xA002006D,
        QEV_MISSING_PARAM = 0xA002006E,
        IOCTL_FAULT = 0xA003012D,
        IOCTL_NOT_PERFORMED = 0xA003012E,
        IOCTL_PREVIOUSLY_PERFORMED = 0xA003012F,
        IOCTL_NO_ASYNC_INVOKE = 0xA0030130,
        IOCTL_PENDING = 0xA0030131,
        IOCTL_IOCTL_ERROR = 0xA0030132,
        IOCTL_BAD_RESULTS = 0xA0030133,
        IOCTL_LOCK_TIMEOUT = 0xA0030134,
        IOCTL_LOCK_BAD_FREE = 0xA0030135,
        IOCTL_LOCK_RELOCK = 0xA0030136,
        IOCTL_IN_BUFFER_SIZE = 0xA0030137,
        IOCTL_OUT_BUFFER_SIZE = 0xA0030138,
        IOCTL_CONFIG_BUFFER_SIZE = 0xA0030139,
        IOCTL_BAD_RAID_CONFIG_GROUP = 0xA003013A,
        IOCTL_BAD_RAID_DIRECTION = 0xA003013B,
        IOCTL_NEW_VALUE_NOT_SET = 0xA003013C,
        IOCTL_ZERO_LEN_SERIALNO = 0xA003013D,
        IOCTL_SERIALNO_TOO_LONG = 0xA003013E,
        IOCTL_SERIALNO_WHITESPACE = 0xA003013F,
        IOCTL_SERIALNO_INVALID = 0xA0030140,
        IOCTL_SIMULATOR_NOT_FOUND = 0xA0030141,
        IOCTL_INTERFACE_NOT_SUPPORTED = 0xA0030142,
        DRIVER_FAULT = 0xA0040400,
        DRIVER_UNEXPECTED = 0xA0040401,
        DRIVER_BUFFER_OVERRUN = 0xA0040402,
        DRIVER_SHORT_RESPONSE = 0xA0040403,
        DRIVER_SRB_IO_RESPONSE = 0xA0040404,
        DRIVER_IXO_VALIDATION_ERR = 0xA0040405,
        DRIVER_CSMI_ERROR_STATUS = 0xA0040406,
        DRIVER_CSMI_CRITICAL_ERROR = 0xA0040407,
        RAID_IXO_STS_OK = 0xA0050000,
        RAID_IXO_STS_ERROR = 0xA0050001,
        RAID_IXO_BAD_KEY_CONTINUE = 0xA0050002,
        RAID_IXO_BAD_KEY_ABORT = 0xA0050003,
        RAID_IXO_SCALAR_ERROR = 0xA0050004,
        RAID_IXO_INVALID_GROUP_ID = 0xA0050005,
        RAID_IXO_NO_SUCH_FIELD = 0xA0050006,
        RAID_IXO_TABLE_ERROR = 0xA0050007,
        RAID_IXO_DISK_TABLE_FULL = 0xA0050008,
        RAID_IXO_PENDING = 0xA0050009,
        RAID_IXO_INVALID_REQUEST = 0xA005000A,
        RAID_IXO_INVALID_PARAMETER = 0xA005000B,
        RAID_IXO_AOAC_NOT_CONFIGURED = 0xA005000C,
        CFG_OK = 0xA0060000,
        CFG_HELP = 0xA0060001,
        CFG_VOLUME_TABLE_FULL = 0xA0060002,
        CFG_VOLUME_NAME_EMBEDDED_SPACES = 0xA0060003,
        CFG_DISK_TABLE_FULL = 0xA0060004,
        CFG_VOLUME_NAME_TOO_SHORT = 0xA0060005,
        CFG_VOLUME_NAME_TOO_LONG = 0xA0060006,
        CFG_VOLUME_NAME_NOT_UNIQUE = 0xA0060007,
        CFG_NO_MEMBERS_SELECTED = 0xA0060008,
        CFG_TOO_FEW_MEMBERS_SELECTED = 0xA0060009,
        CFG_TOO_MANY_MEMBERS_SELECTED = 0xA006000A,
        CFG_VOLUME_NEEDS_THREE_MEMBERS = 0xA006000B,
        CFG_TOO_MANY_DISKS_ONLINE = 0xA006000C,
        CFG_ARRAY_NOT_STABLE = 0xA006000D,
        CFG_NOT_ENOUGH_DISK_SPACE = 0xA006000E,
        CFG_RAID3_STRIPE_TOO_BIG = 0xA006000F,
        CFG_VOLUME_NAME_ALL_NUMERIC = 0xA0060010,
        CFG_DISK_TOO_SMALL_FOR_ARRAY = 0xA0060011,
        CFG_VOLUME_NOT_FOUND = 0xA0060012,
        CFG_OPERATION_NOT_IMPLEMENTED = 0xA0060013,
        CFG_VOLUME_NAME_ILLEGAL_CHARACTERS = 0xA0060014,
        CFG_VOLUME_NAME_MUST_START_ALPHA = 0xA0060015,
        CFG_VOL_ACTIONS_IN_PROGRESS = 0xA0060016,
        CFG_NOT_ENOUGH_RESOURCES = 0xA0060017,
        CFG_ABORT_MIGRATION_FAILED = 0xA0060018,
        CFG_INITIALIZE_PARITY_FAILED = 0xA0060019,
        CFG_VERIFY_PARITY_FAILED = 0xA006001A,
        CFG_CONFIG_HAS_CHANGED = 0xA006001B,
        CFG_REQUEST_OVERLAP = 0xA006001C,
        CFG_UNSPECIFIED_ERROR = 0xA006001D,
        CFG_VOLUME_ALREADY_MIGRATING = 0xA006001E,
        CFG_VOLUME_RSV_REL_RESET_ERROR = 0xA006001F,
        CFG_VOLUME_DELETED_ACTION_NOT_DONE = 0xA0060020,
        CFG_DISK_DELETED_ACTION_NOT_DONE = 0xA0060021,
        CFG_DISK_NOT_FOUND = 0xA0060022,
        CFG_DISK_ACTIONS_STILL_IN_PROGRESS = 0xA0060023,
        CFG_ILLEGAL_DISK_ACTION = 0xA0060024,
        CFG_RAID_STRIP_SIZE_INVALID = 0xA0060025,
        CFG_ACTION_IGNORED_DISK_FAILURE = 0xA0060026,
        CFG_ACTION_IGNORED_ARRAY_REBUILD = 0xA0060027,
        CFG_ARRAY_NOT_NORMAL = 0xA0060028,
        CFG_RAID_LEVEL_INVALID = 0xA0060029,
        CFG_ARRAY_HAS_MULTIPLE_VOLUMES = 0xA006002A,
        CFG_INVALID_PARAMETER = 0xA006002B,
        CFG_NV_CACHE_IN_USE = 0xA006002C,
        CFG_NV_CACHE_NOT_PRESENT = 0xA006002D,
        CFG_NV_CACHE_TOO_BIG = 0xA006002E,
        CFG_AOAC_ERROR = 0xA006002F,
        CFG_INVALID_SPINDOWN_POLICY = 0xA0060030,
        CFG_INVALID_ERROR_CODE = 0xA0060031,
        HALVEX_UNKNOWN = 0xA0070000,
        HALVEX_CONCATENATE_DRIVER_DISKSARENOTVALID = 0xA0070001,
        HALVEX_CONCATENATE_DRIVER_VOLUMENOTEXIST = 0xA0070002,
        HALVEX_CONCATENATE_DRIVER_PLATFORMNOTSUPPORTED = 0xA0070003,
        HALVEX_CONCATENATE_DRIVER_CONCATENATIONVOLUMEALREADYEXIST = 0xA0070004,
        HALVEX_CONCATENATE_DRIVER_OSONWRONGDISK = 0xA0070005,
        HALVEX_CONCATENATE_DRIVER_FILECACHESIZETOOBIG = 0xA0070006,
        HALVEX_CONCATENATE_DRIVER_FILECACHESIZETOOSMALL = 0xA0070007,
        HALVEX_CONCATENATE_DRIVER_NOSPACEFORMETADATA = 0xA0070008,
        HALVEX_CONCATENATE_DRIVER_INTERNALERROR = 0xA0070009,
        HALVEX_CONCATENATE_DRIVER_CONFIGURATIONNOTSUPPORTED = 0xA007000A,
        HALVEX_CONCATENATE_DRIVER_STARTBOUNDARYTOOSMALL = 0xA007000B,
        HALVEX_CONCATENATE_KEDO2_ALREADYENABLED = 0xA007000C,
        HALVEX_CONCATENATE_KEDO2_FASTMEDIANOTCLEAN = 0xA007000D,
        HALVEX_BLOCK_CACHEVOLUMEALREADYPRESENT = 0xA007000E,
        HALVEX_FASTMEDIAINVALIDFORCACHE = 0xA007000F,
        HALVEX_FASTMEDIATOOSMALLFORCACHE = 0xA0070010,
        HALVEX_UNALLOCATEDSPACEINVALID = 0xA0070011,
        HALVEX_BLOCK_CACHE_SIZEINVALID = 0xA0070012,
        HALVEX_BLOCKCACHECREATIONFAILED = 0xA0070013,
        HALVEX_SET_BLOCKCACHE_ACCELERATEMODEFAILED = 0xA0070014,
        HALVEX_CONCATENATE_KEDO2_ACCELERATEWITHBLOCKCACHEFAILED = 0xA0070015,
        HALVEX_CONCATENATE_KEDO2_SPECIFIEDFILECACHETOOBIG = 0xA0070016,
        HALVEX_CONCATENATE_KEDO2_NODISKPAIRFOUND = 0xA0070017,
        HALVEX_CONCATENATE_KEDO2_MANYDISKPAIRFOUND = 0xA0070018,
        HALVEX_DRIVER_FEATURENOTSUPPORTED = 0xA0070019,
        HALVEX_CONCATENATE_DRIVER_DISKPAIRDISKIDAREEQUAL = 0xA007001A,
        HALVEX_CONCATENATE_DRIVER_DISKPAIRFASTDISKNOTSUPPORTED = 0xA007001B,
        HALVEX_CONCATENATE_DRIVER_DISKPAIRSLOWDISKNOTSUPPORTED = 0xA007001C,
        HALVEX_CONCATENATE_DRIVER_DISKPAIRFASTDISKISTOOBIG = 0xA007001D,
        HALVEX_CONCATENATE_DRIVER_DISKPAIRINTERNALERROR = 0xA007001E,
        HALVEX_KEDO2_SERVICECOMMANDNOTCREATED = 0xA007001F,
        HALVEX_KEDO2_MIGRATIONSERVICENOTFOUND = 0xA0070020,
        HALVEX_KEDO2_MINIFILTERSERVICENOTFOUND = 0xA0070021,
        HALVEX_SEPARATE_DRIVER_CONCATENATEDVOLUMENOTEXIST = 0xA0070022,
        HALVEX_SEPARATE_DRIVER_MIGRATIONALREADYRUNNING = 0xA0070023,
        HALVEX_SEPARATE_KEDO2_HALVEXVOLUMENOTFOUND = 0xA0070024,
        HALVEX_DEACCELERATEFROMBLOCKCACHEFAILED = 0xA0070025,
        HALVEX_SEPARATE_KEDO2_DEACCELERATEFROMBLOCKCACHEFAILED = 0xA0070026,
        HALVEX_SEPARATE_KEDO2_DESTROYINGBLOCKCACHEFAILED = 0xA0070027,
        HALVEX_CONCATENATE_DRIVER_DISKINTERNALERROR = 0xA0070028,
        HALVEX_CONCATENATE_DRIVER_DISKVOLUMENOTEXIST = 0xA0070029,
        HALVEX_CONCATENATE_DRIVER_DISKISNOTDISK = 0xA007002A,
        HALVEX_CONCATENATE_DRIVER_DISKINCORRECTBLOCKSIZE = 0xA007002B,
        HALVEX_CONCATENATE_DRIVER_DISKTOOSMALL = 0xA007002C,
        HALVEX_CONCATENATE_DRIVER_DISKINCORRECTDISKTYPE = 0xA007002D,
        HALVEX_CONCATENATE_DRIVER_DISKINCORRECTPARTITIONTYPE = 0xA007002E,
        HALVEX_DRIVER_METADATAOPERATION_DISKNOTEXIST = 0xA007002F,
        HALVEX_DRIVER_METADATAOPERATION_FAILED = 0xA0070030,
        HALVEX_KEDO2_SETTING_BLOCK_CACHE_TO_SAFE_FAILED = 0xA0070031,
        HALVEX_CONCATENATE_KEDO2_DISKCONTAINSSYSTEMCOMPONENTS = 0xA0070032,
        HALVEX_SMART_EVENT_ON_SLOW = 0xA0070033,
        HALVEX_SMART_EVENT_ON_FAST = 0xA0070034,
        HALVEX_BAD_BLOCK_DETECTED = 0xA0070035,
        HALVEX_MIGRATION_FAILURE_ROLLBACK = 0xA0070036,
        HALVEX_CRITICAL_SECTION_NOT_OBTAINED = 0xA0070037,
        HALVEX_CRITICAL_SECTION_RE_ENTRY = 0xA0070038,
        UI_Unknown = 0xA0080000,
        UI_UnknownInitError = 0xA0080001,
        UI_NullAssemblyLocation = 0xA0080002,
        UI_AssemblyLocationDirNotExist = 0xA0080003,
        UI_MockClientDllFileNotFound = 0xA0080004,
        UI_MwClientDllFileNotFound = 0xA0080005,
        UI_NullDataProvider = 0xA0080006,
        UI_NullHalvexController = 0xA0080007,
        UI_RebootPending = 0xA0080008,
        UI_NoAdminPrivilege = 0xA0080009,
        UI_FastDiskIdInvalidHandle = 0xA008000A,
        UI_SlowDiskIdInvalidHandle = 0xA008000B,
        UI_MigrationHanged = 0xA008000C,
        UI_WrongHalvexStatusDuringEnabling = 0xA008000D,
        UI_UnknownEnableError = 0xA008000E,
        UI_WrongHalvexStatusDuringDisabling = 0xA008000F,
        UI_ControllerIdInvalidHandle = 0xA0080010,
        UI_UnknownDisableError = 0xA0080011,
        UI_VolumeIdInvalidHandle = 0xA0080012,
        UI_DiskIdInvalidHandle = 0xA0080013,
        UI_UnhandledDispatcherException = 0xA0080014,
        UI_UnexpectedVezkOperationStatusDomain = 0xA0080015,
        UI_UnexpectedCheckerStatus = 0xA0080016,
        UI_FastDiskIdIsNull = 0xA0080017,
        UI_SystemDiskNotFound = 0xA0080018,
        UI_UnexpectedHalvexStatusEnum = 0xA0080019,
        UI_UnexpectedErrorType = 0xA008001A,
        UI_InvalidViewModelRedirection = 0xA008001B,
        UI_RegistryKeyOpeningFailed = 0xA008001C,
        UI_HalvexUIProcessStartingFailed = 0xA008001D,
        UI_InvalidTypeDataProvider = 0xA008001E,
        UI_InitializingQevDataModelError = 0xA008001F,
        UI_MockNoHalvexFound = 0xA0080020,
        UI_MockIncorrectHalvexStatus = 0xA0080021,
        UI_MockHalvexIsNotEnabled = 0xA0080022,
        UI_MockIncorrectHalvexStatusType = 0xA0080023,
        UI_MockIncorrectDiskPair = 0xA0080024,
        UI_MockIncorrectControllerId = 0xA0080025,
        UI_MockReadStatusFileNameIsNull = 0xA0080026,
        UI_MwExceptionNoErrors = 0xA0080027,
        UI_MwExceptionManyErrors = 0xA0080028,
        UI_AppAlreadyRunningForDifferentUser = 0xA0080029,
        UI_SataControllerInAhciModeWithoutDriver = 0xA008002A,
        UI_SataControllerInAhciModeWithDriver = 0xA008002B,
        UI_AppAlreadyRunning = 0xA008002C,
        UI_UnsupportedBiosOrBiosMode = 0xA008002D,
        UI_UnsupportedDriver = 0xA008002E,
        UI_UnableToDisplayNotifications = 0xA008002F,
        UI_SingleInstanceCheckFailed = 0xA0080030,
        RPC_UNKNOWN_ERROR = 0xA0090000,
        RPC_CLIENT_CONNECT_MUTEX_NULL = 0xA0090001,
        RPC_CLIENT_CONNECT_MUTEX_BUSY = 0xA0090002,
        RPC_CLIENT_CONNECT_MUTEX_FAILED = 0xA0090003,
        RPC_IMPERSONATE_FAILED = 0xA0090004,
        RPC_INVALID_ARGUMENT = 0xA0090005,
        RPC_SINGLE_INSTANCE_INTERNAL_ERROR = 0xA0090006,
        RPC_SINGLE_INSTANCE_ALREADY_RUNNING = 0xA0090007,
        RPC_SINGLE_INSTANCE_ALREADY_RUNNING_DUPLICATE = 0xA0090008,
        RPC_CLIENT_AUTHORIZATION_DENIED = 0xA0090009,
        RPC_INVALID_TIMEOUT = 0xA00906AD,
        RPC_INVALID_NOT_LISTENING = 0xA00906B3,
        RPC_SERVER_UNAVAILABLE = 0xA00906BA,
        RPC_SERVER_TOO_BUSY = 0xA00906BB,
        RPC_CLIENT_COMMUNICATION_BLOCKED = 0xA00906BC,
        PINNING_UNAVALIABLE = 0xA00A0000,
        PINNING_PICK_FILE = 0xA00A0001,
        PINNING_PICK_FOLDER = 0xA00A0002,
        PINNING_PICK_APP = 0xA00A0003,
        PINNING_FILES_AND_FOLDERS_REFRESH = 0xA00A000B,
        PINNING_APPS_REFRESH = 0xA00A000D,
        PINNING_PIN_FILE_OR_FOLDER = 0xA00A0015,
        PINNING_PIN_APP = 0xA00A0017,
        PINNING_UNPIN_FILE_OR_FOLDER = 0xA00A001F,
        PINNING_UNPIN_APP = 0xA00A0021,
        PINNING_AVAIL_COMMUNICATION_ERROR = 0xA00A0029,
        PINNING_AVAIL_IN_PROGRESS = 0xA00A002A,
        PINNING_AVAIL_HALVEX_DISABLED = 0xA00A002B,
        PINNING_AVAIL_SMALL_CACHE = 0xA00A002C,
        PINNING_AVAIL_UNKNOWN_ISSUE = 0xA00A002D,
        PINNING_AVAIL_CONTROLLER_UNSUPPORTED = 0xA00A002E,
        PINNING_AVAIL_DATA_DRIVE_UNSUPPORTED = 0xA00A002F,
        PINNING_AVAIL_SMALL_SKU = 0xA00A0030,
        PINNING_FILE_CACHE_FULL = 0xA00A0031,
        PINNING_FILE_CACHE_ALMOST_FULL = 0xA00A0032,
        PINNING_DIRECTORY_NOT_FOUND = 0xA00A0033,
        PINNING_APP_NOT_FOUND = 0xA00A0034,
        PINNING_ACCESS_DENIED = 0xA00A0035,
        PINNING_FILE_CACHE_DISABLED = 0xA00A0036,
        MW_SERVER_INVALID_CONTEXT = 0xA00B0001,
        MW_SERVER_ACTIONMANAGER_INVALID_FUNCTION = 0xA00B0002,
        MW_SERVER_JSON_DESERIALIZE = 0xA00B0003,
        MW_SERVER_JSON_SERIALIZE = 0xA00B0004,
        MW_SERVER_UVI_RESOLVER = 0xA00B0005,
        MW_SERVER_UVI_VOLATILE_RESOLVER = 0xA00B0006,
        MW_SERVER_AUTOMATION_EVENT_REGISTER_FAILED = 0xA00B0007,
        MW_SERVER_ACTIONMANAGER_OBSOLETE_FUNCTION = 0xA00B0008,
        MW_SERVER_JSON_DESERIALIZE_OBSOLETE = 0xA00B0009,
    };

    CConsolidatedErrorGenerated() = default;
    CConsolidatedErrorGenerated(const CConsolidatedErrorGenerated&) = default;
    CConsolidatedErrorGenerated& operator=(const CConsolidatedErrorGenerated&) { return *this; }
    CConsolidatedErrorGenerated& operator=(CConsolidatedErrorGenerated&&) { return *this; }
};
static_assert(sizeof(CConsolidatedErrorGenerated::KEDO2_ERRORS) == 4);

using KEDO2_ERRORS = CConsolidatedErrorGenerated::KEDO2_ERRORS;

// Every operation reports through its result: dropping one unread is a mistake unless the code says
// why (static_cast<void>(...) with a reason).
class MOX_EXPORT_NODISCARD CConsolidatedError : public CConsolidatedErrorGenerated {
public:
    // The longest piece one append adds, in characters, terminator not counted.
    static constexpr int MAX_ERROR_STRING_SIZE = 1024;
    // Size of the code string buffer, terminator included.
    static constexpr int SMALL_STRING_SIZE = 128;

    CConsolidatedError();
    CConsolidatedError(KEDO2_ERRORS code);
    // Copies the numbers and both texts; the code string is built anew from type and code.
    CConsolidatedError(const CConsolidatedError& other);
    // Copies everything as it stands, the code string included.
    CConsolidatedError& operator=(const CConsolidatedError& other);
    ~CConsolidatedError();

    // Texts given to SetError are appended as they stand, never read as a format.
    void SetError(KEDO2_ERRORS code, const char* message);
    void SetError(KEDO2_ERRORS code, const char* message, const char* debug);
    void SetError(_UVI_Status status, const char* message, const char* debug);
    void SetError(KEDO2_ERROR_TYPE type, unsigned long value, const char* debug);
    // Takes over the numbers of `other` and appends its debug information and message.
    void SetError(CConsolidatedError other);
    void SetError(KEDO2_ERRORS code, const wchar_t* message);
    void SetError(KEDO2_ERRORS code, const wchar_t* message, const wchar_t* debug);
    void SetError(_UVI_Status status, const wchar_t* message, const wchar_t* debug);
    void SetError(KEDO2_ERROR_TYPE type, unsigned long value, const wchar_t* debug);
    // A bare nullptr would fit the narrow and the wide forms alike; it means "no text".
    void SetError(KEDO2_ERRORS code, std::nullptr_t) { SetError(code, static_cast<const char*>(nullptr)); }
    void SetError(KEDO2_ERRORS code, std::nullptr_t, std::nullptr_t) {
        SetError(code, static_cast<const char*>(nullptr), static_cast<const char*>(nullptr));
    }
    void SetError(_UVI_Status status, std::nullptr_t, std::nullptr_t) {
        SetError(status, static_cast<const char*>(nullptr), static_cast<const char*>(nullptr));
    }
    void SetError(KEDO2_ERROR_TYPE type, unsigned long value, std::nullptr_t) {
        SetError(type, value, static_cast<const char*>(nullptr));
    }

    // Back to success; leaves no code string until the next setter.
    void ClearError();

    void AddDebugInformation(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void AddErrorMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void AddDebugInformation(const wchar_t* format, ...);
    void AddErrorMessage(const wchar_t* format, ...);

    bool IsError() const { return m_errorType != KEDO2_ERROR_TYPE_NONE; }
    bool IsSuccessful() const { return m_errorType == KEDO2_ERROR_TYPE_NONE; }
    // A driver request that is still pending.
    bool IsBusy() const { return m_errorType == KEDO2_ERROR_TYPE_KEDO2 && m_code == IOCTL_PENDING; }
    bool IsPending() const { return IsBusy(); }

    KEDO2_ERROR_TYPE GetErrorType() const { return m_errorType; }
    KEDO2_ERRORS GetErrorCode() const { return m_code; }
    uint32_t GetWin32Error() const { return m_win32Error; }
    uint32_t GetDriverError() const { return m_driverError; }

    // "" when the text is missing; valid until the object changes.
    const char* GetErrorMessage() const;
    const char* GetDebugInformation() const;
    const char* GetErrorCodeString() const;

    // Size protocol: 0 without text; a null buffer asks for the size (text length + 1); a buffer of
    // `length` bytes smaller than that is left untouched and 0 returned; otherwise the whole buffer
    // is zeroed, the text copied and the size returned.
    unsigned int GetErrorMessage(char* buffer, int length) const;
    unsigned int GetDebugInformation(char* buffer, int length) const;
    unsigned int GetErrorCodeString(char* buffer, int length) const;
    // The same with `length` in bytes of a wide buffer; the narrow size is returned.
    unsigned int GetErrorMessage(wchar_t* buffer, int length) const;
    unsigned int GetDebugInformation(wchar_t* buffer, int length) const;
    unsigned int GetErrorCodeString(wchar_t* buffer, int length) const;

    std::string getErrorTypeSummary() const;

    static CConsolidatedError GetWynEolError();

    // Converts to the C interface's record and registers the error with the thread's GlobalLogger.
    operator _UVI_Error() const;

private:
    static KEDO2_ERRORS MapUviStatus(_UVI_Status status);

    void SetErrorCodeString();
    void FreeStringResources();
    void InternalAddDebugInformation(const char* format, va_list argumentList);
    void InternalAddErrorMessage(const char* format, va_list argumentList);

    KEDO2_ERROR_TYPE m_errorType = KEDO2_ERROR_TYPE_NONE;
    KEDO2_ERRORS m_code = SUCCESS;
    uint32_t m_win32Error = 0;
    uint32_t m_driverError = 0;
    char* m_debugInformation = nullptr;
    char* m_errorMessage = nullptr;
    char* m_errorCodeString = nullptr;
};

// Writes the record for `error` into `record`, registering the error as the conversion operator does.
MOX_EXPORT void ConvertToUviError(_UVI_Error& record, const CConsolidatedError& error);
// The full error behind a record produced on this thread, or a success value when it is no longer
// the stored one. The entry stays stored.
MOX_EXPORT CConsolidatedError GetLoggedError(const _UVI_Error& record);
// Turns the status of an exported call back into a code, for callers inside the library.
MOX_EXPORT KEDO2_ERRORS MapUviStatusToCode(_UVI_Status status);
