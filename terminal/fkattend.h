/* The terminal library's C interface (libfkattend.so).
 *
 * Every operation returns int32_t. Connect calls return a handle > 0 on success and 0 on any
 * failure. Every other call returns FK_OK (1) on success and something else on failure:
 *   FK_NO           0  the terminal refused, holds no such thing, or a list/log is at its end
 *   FK_BAD_HANDLE  -1  no open connection has this handle (or machine number)
 *   FK_LINK_ERROR  -2  time-out, connection lost, nothing listening
 *   FK_BAD_REPLY   -3  a damaged or malformed reply
 *   FK_BAD_ARG     -4  an argument the library or the terminal cannot take
 *   FK_INTERNAL_ERROR -5  the library itself failed (out of memory); no exception ever reaches
 *                         the caller, a connect call returns 0 instead
 *   FK_SILENT_LINK -6, FK_EVENTS_ONLY -7, FK_NOT_SUBSCRIBED -8: the event extension (at the end)
 *
 * Buffers: every pointer argument belongs to the caller and is only used during the call; the
 * library keeps none of them. Texts are zero-terminated UTF-8; a null text counts as empty.
 * Output pointers may be null: that output is then not written.
 */
#ifndef ORVELO_FKATTEND_H
#define ORVELO_FKATTEND_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FK_OK 1
#define FK_NO 0
#define FK_BAD_HANDLE (-1)
#define FK_LINK_ERROR (-2)
#define FK_BAD_REPLY (-3)
#define FK_BAD_ARG (-4)
#define FK_INTERNAL_ERROR (-5)

/* FK_GetDeviceStatus: what the terminal counts. */
#define FK_STATUS_ADMINS 1              /* users with an enrollment whose privilege is not 0 */
#define FK_STATUS_USERS 2               /* users */
#define FK_STATUS_FINGERPRINTS 3        /* fingerprint enrollments (backups 0 to 8) */
#define FK_STATUS_PASSWORDS 4           /* password enrollments (backup FK_BACKUP_PASSWORD) */
#define FK_STATUS_NEW_MANAGEMENT_LOGS 5 /* management records not yet collected */
#define FK_STATUS_NEW_LOGS 6            /* attendance records not yet collected */
#define FK_STATUS_ALL_MANAGEMENT_LOGS 7 /* every management record */
#define FK_STATUS_ALL_LOGS 8            /* every attendance record */
#define FK_STATUS_CARDS 9               /* card enrollments (backup FK_BACKUP_CARD) */

/* Backup numbers: what one enrollment of a user is. Fingerprints carry a template of
 * FK_TEMPLATE_VALUES values; the card and the password carry their number in the password value. */
#define FK_BACKUP_FIRST_FINGERPRINT 0
#define FK_BACKUP_LAST_FINGERPRINT 8
#define FK_BACKUP_CARD 9
#define FK_BACKUP_PASSWORD 10
#define FK_BACKUP_FIRST FK_BACKUP_FIRST_FINGERPRINT
#define FK_BACKUP_LAST FK_BACKUP_PASSWORD

/* Values FK_GetEnrollData writes into the caller's template buffer, at most. */
#define FK_TEMPLATE_VALUES 458
/* Size of the caller's area for FK_GetUserName: at most 39 bytes of name and a zero. */
#define FK_NAME_BYTES 40
/* Time-out of serial and USB links, and of FK_ConnectNet when given 0 or less. */
#define FK_DEFAULT_TIMEOUT_MS 3000

int32_t FK_ConnectComm(int32_t machineNo, int32_t comPort, int32_t baudRate, const char* dialText,
                       int32_t reserved);
int32_t FK_ConnectNet(int32_t machineNo, const char* ipAddress, int32_t netPort, int32_t timeOutMs,
                      int32_t udpFlag, int32_t netPassword);
int32_t FK_ConnectUSB(int32_t machineNo);
int32_t FK_DisConnect(int32_t handle);
int32_t FK_EnableDevice(int32_t handle, int32_t enable);
int32_t FK_GetDeviceStatus(int32_t handle, int32_t statusCode, int32_t* value);
int32_t FK_SetDeviceTime(int32_t handle, double dateTime);
int32_t FK_ReadAllUserID(int32_t machineNo);
int32_t FK_GetAllUserID(int32_t handle, int32_t* enrollNumber, int32_t* backupNumber, int32_t* privilege,
                        int32_t* value);
int32_t FK_ModifyPrivilege(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege);
int32_t FK_ClearKeeperData(int32_t machineNo);
int32_t FK_LoadGeneralLogData(int32_t handle, int32_t newOnly);
int32_t FK_USBLoadGeneralLogDataFromFile(int32_t handle, const char* path);
int32_t FK_GetGeneralLogData(int32_t handle, int32_t* enrollNumber, int32_t* modeCode, int32_t* value,
                             double* dateTime);
int32_t FK_GetEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t* privilege,
                         int32_t* templateBuffer, int32_t* password);
int32_t FK_PutEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber, int32_t privilege,
                         const int32_t* templateBuffer, int32_t password);
int32_t FK_DeleteEnrollData(int32_t handle, int32_t enrollNumber, int32_t backupNumber);
int32_t FK_GetUserName(int32_t handle, int32_t enrollNumber, char* nameBuffer);
int32_t FK_SetUserName(int32_t handle, int32_t enrollNumber, const char* name);

/* Our extension: live events. Not one of the nineteen operations; a client that loads the library
 * at run time resolves these three on their own, so that a library without them still serves the
 * nineteen.
 *
 * FK_SubscribeEvents(handle) turns an open TCP, USB or serial connection into an event connection:
 * from then on the terminal sends every new record of its log as an event, and a heartbeat when
 * it has sent nothing for its heartbeat interval (1 s on the emulator). Results: FK_OK subscribed;
 * FK_NO the terminal refused (a UDP connection, a terminal without events); FK_BAD_HANDLE;
 * FK_LINK_ERROR or FK_BAD_REPLY when the link failed. A subscribed connection carries events only:
 * any other operation on it but FK_UnsubscribeEvents and FK_DisConnect returns FK_EVENTS_ONLY, and
 * the machine-number operations (FK_ReadAllUserID, FK_ClearKeeperData) pass it over. Collect the
 * log over a second connection.
 *
 * FK_WaitEvent(handle, timeOutMs, ...) waits at most timeOutMs (0: only what has arrived; more than
 * 600,000 counts as 600,000) for the next event:
 *   FK_OK (1)            an event: its enroll number, mode code, date-time (days since 1899-12-30)
 *                        and position in the terminal's log (0 for its first record) are written
 *   FK_NO (0)            no event within the time-out, while the terminal's heartbeats show the
 *                        link is alive
 *   FK_SILENT_LINK (-6)  nothing at all came from the terminal for FK_SILENT_HEARTBEATS of its
 *                        heartbeat intervals: it hangs, or the link is cut without a reset. This
 *                        is returned as soon as the bound passes, even before the time-out
 *   FK_LINK_ERROR (-2)   the link closed or failed
 *   FK_BAD_REPLY (-3)    a damaged or malformed event
 *   FK_NOT_SUBSCRIBED (-8) the handle is open but not subscribed
 *   FK_BAD_HANDLE (-1)
 * After a negative result other than FK_NOT_SUBSCRIBED and FK_BAD_HANDLE the connection is broken
 * for good: disconnect it, connect again, collect the new records, and subscribe again. An event
 * may come twice across such a reconnection (once collected, once sent); its position tells.
 * FK_WaitEvent does not hold the library's lock while it waits: other threads may use other
 * handles meanwhile; one handle is waited on by one thread at a time.
 *
 * FK_UnsubscribeEvents(handle): FK_OK the connection is an ordinary one again (events still in
 * flight are dropped); FK_NOT_SUBSCRIBED; FK_BAD_HANDLE; FK_LINK_ERROR. FK_DisConnect ends a
 * subscription too. */
#define FK_SILENT_LINK (-6)
#define FK_EVENTS_ONLY (-7)
#define FK_NOT_SUBSCRIBED (-8)
/* Heartbeat intervals without a byte from the terminal after which FK_WaitEvent gives up. */
#define FK_SILENT_HEARTBEATS 3

int32_t FK_SubscribeEvents(int32_t handle);
int32_t FK_WaitEvent(int32_t handle, int32_t timeOutMs, int32_t* enrollNumber, int32_t* modeCode,
                     double* dateTime, int32_t* logPosition);
int32_t FK_UnsubscribeEvents(int32_t handle);

/* Our extension: reading the terminal's clock, beside FK_SetDeviceTime, so that a client can tell
 * how far the terminal's clock is off before its records' times go wrong. Resolved on its own like
 * the event operations.
 *
 * FK_GetDeviceTime(handle, dateTime) writes the terminal's present date-time (days since
 * 1899-12-30, local time, whole seconds as the terminal keeps them). Results: FK_OK; FK_NO the
 * terminal refused or does not know the request (a terminal older than the extension);
 * FK_BAD_HANDLE; FK_LINK_ERROR; FK_BAD_REPLY also for a date-time outside 1900-01-01 to
 * 9999-12-31 or not a number; FK_EVENTS_ONLY on a subscribed connection. */
int32_t FK_GetDeviceTime(int32_t handle, double* dateTime);

#ifdef __cplusplus
}
#endif

#endif
