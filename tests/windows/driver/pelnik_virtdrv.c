/* pelnik_virtdrv.sys: a kernel-mode stand-in for the camera's driver, for
   tests under Wine. It creates the camera devices \\.\PNikR5MLX-N and answers
   their device control requests by forwarding each one, over one pipe
   connection per open handle, to the virtual camera serving the back-end
   pipes (pelnik-virtcam.exe --pipe-name). So the SDK's CreateFileA /
   DeviceIoControl path runs exactly as against the camera's driver. */
#include <ntifs.h>

#include "virtdrv_control.h"
#include "wire_forwarder.h"

#define VIRTDRV_WIDEN2(text) L##text
#define VIRTDRV_WIDEN(text) VIRTDRV_WIDEN2(text)

/* Name templates; the unit character replaces their last character. */
static const WCHAR kDeviceName[] = L"\\Device\\PNikR5MLX-?";
static const WCHAR kLinkName[] = L"\\DosDevices\\PNikR5MLX-?";
static const WCHAR kBackEndPipe[] =
    L"\\??\\pipe\\" VIRTDRV_WIDEN(PELNIK_VIRTDRV_BACKEND_BASE) L"-?";
#define VIRTDRV_NAME_CHARS 64

/* Which cameras get a device: a bit per camera number, from the service's
   PELNIK_VIRTDRV_CAMERAS_VALUE; camera 0 alone without it. */
#define VIRTDRV_DEFAULT_CAMERAS 1u

/* A unit's names, as one camera number fills them in. */
typedef struct UnitName {
  WCHAR text[VIRTDRV_NAME_CHARS];
  UNICODE_STRING string;
} UnitName;

static void nameUnit(UnitName *name, const WCHAR *pattern, unsigned int camera) {
  size_t length = 0;
  while (pattern[length] && length + 1 < VIRTDRV_NAME_CHARS) {
    name->text[length] = pattern[length];
    ++length;
  }
  name->text[length] = 0;
  if (length) name->text[length - 1] = (WCHAR)pelnikUnitCharacter(camera);
  RtlInitUnicodeString(&name->string, name->text);
}

/* The device extension: which camera a device stands for. */
typedef struct Unit {
  unsigned int camera;
} Unit;

#define VIRTDRV_TAG 0x64764E50u /* "PNvd" in a pool dump */

/* How long an open waits for a free instance of the back-end pipe: the
   virtual camera makes the next instance right after each connection. */
#define VIRTDRV_PIPE_WAIT_MS 2000

static volatile LONG forwardedCount;

/* One open handle: its back-end connection and the worker that serves its
   requests in order, so a read waiting for a frame never holds up the
   requests of other handles. */
typedef struct Link {
  HANDLE pipe;          /* null once the stream broke */
  HANDLE transferDone;  /* notification event of the transfer in flight */
  HANDLE worker;        /* the worker thread, joined by endLink */
  KSPIN_LOCK queueLock; /* guards queue and stopping */
  LIST_ENTRY queue;     /* pending IRPs, linked by Tail.Overlay.ListEntry */
  BOOLEAN stopping;
  KEVENT wake; /* synchronization event: a request queued or stopping set */
} Link;

static NTSTATUS finish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* One request's transfers on its link's pipe. Each waits in short slices so
   that a cancelled request (CancelIoEx, or its handle closing) ends at once,
   as with the camera's driver, instead of when the virtual camera answers. */
typedef struct Transfer {
  Link *link;
  PIRP irp;
  BOOLEAN cancelled;
} Transfer;

#define VIRTDRV_CANCEL_POLL_MS 10

static BOOLEAN linkStopping(Link *link) {
  KIRQL irql;
  BOOLEAN stopping;
  KeAcquireSpinLock(&link->queueLock, &irql);
  stopping = link->stopping;
  KeReleaseSpinLock(&link->queueLock, irql);
  return stopping;
}

static NTSTATUS awaitTransfer(Transfer *transfer, IO_STATUS_BLOCK *io) {
  LARGE_INTEGER slice;
  slice.QuadPart = -10000LL * VIRTDRV_CANCEL_POLL_MS;
  for (;;) {
    NTSTATUS waited = ZwWaitForSingleObject(transfer->link->transferDone, FALSE, &slice);
    if (waited == STATUS_SUCCESS) return io->Status;
    if (waited == STATUS_TIMEOUT && !transfer->irp->Cancel && !linkStopping(transfer->link))
      continue;
    /* The transfer still owns the caller's buffer: it ends before the
       request does. */
    {
      IO_STATUS_BLOCK cancelIo;
      ZwCancelIoFile(transfer->link->pipe, &cancelIo);
      ZwWaitForSingleObject(transfer->link->transferDone, FALSE, NULL);
    }
    transfer->cancelled = TRUE;
    return STATUS_CANCELLED;
  }
}

static int pipeMove(Transfer *transfer, BOOLEAN writing, UCHAR *next, unsigned int length) {
  Link *link = transfer->link;
  while (length) {
    IO_STATUS_BLOCK io;
    NTSTATUS status;
    io.Status = STATUS_PENDING;
    io.Information = 0;
    if (writing)
      status =
          ZwWriteFile(link->pipe, link->transferDone, NULL, NULL, &io, next, length, NULL, NULL);
    else
      status =
          ZwReadFile(link->pipe, link->transferDone, NULL, NULL, &io, next, length, NULL, NULL);
    if (status == STATUS_PENDING) status = awaitTransfer(transfer, &io);
    if (!NT_SUCCESS(status) || io.Information == 0 || io.Information > length) return 0;
    next += io.Information;
    length -= (unsigned int)io.Information;
  }
  return 1;
}

static int pipeWrite(void *context, const void *bytes, unsigned int length) {
  return pipeMove((Transfer *)context, TRUE, (UCHAR *)bytes, length);
}

static int pipeRead(void *context, void *bytes, unsigned int length) {
  return pipeMove((Transfer *)context, FALSE, (UCHAR *)bytes, length);
}

static NTSTATUS openBackEnd(unsigned int camera, HANDLE *pipe) {
  UnitName name;
  OBJECT_ATTRIBUTES attributes;
  IO_STATUS_BLOCK io;
  LARGE_INTEGER pause;
  int waited;
  nameUnit(&name, kBackEndPipe, camera);
  InitializeObjectAttributes(&attributes, &name.string, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             NULL, NULL);
  pause.QuadPart = -10000; /* 1 ms */
  for (waited = 0;; ++waited) {
    NTSTATUS status = ZwCreateFile(pipe, GENERIC_READ | GENERIC_WRITE, &attributes, &io, NULL, 0, 0,
                                   FILE_OPEN, FILE_NON_DIRECTORY_FILE, NULL, 0);
    if (NT_SUCCESS(status)) return STATUS_SUCCESS;
    /* Every instance busy: the camera is there, between instances. */
    if ((status != STATUS_PIPE_NOT_AVAILABLE && status != STATUS_PIPE_BUSY &&
         status != STATUS_INSTANCE_NOT_AVAILABLE) ||
        waited >= VIRTDRV_PIPE_WAIT_MS)
      return status;
    KeDelayExecutionThread(KernelMode, FALSE, &pause);
  }
}

static void serveRequest(Link *link, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const void *input = inputLength ? irp->AssociatedIrp.SystemBuffer : NULL;
  void *output = NULL;
  struct PelnikWireStream stream;
  Transfer transfer;
  unsigned int returned = 0;
  enum PelnikForwardResult result;

  if (outputLength) {
    if (METHOD_FROM_CTL_CODE(code) == METHOD_BUFFERED) {
      output = irp->AssociatedIrp.SystemBuffer;
    } else if (irp->MdlAddress) {
      output = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    }
    if (!output) {
      finish(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
      return;
    }
  }
  if (irp->Cancel) {
    finish(irp, STATUS_CANCELLED, 0);
    return;
  }
  if (!link->pipe) {
    finish(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    return;
  }
  transfer.link = link;
  transfer.irp = irp;
  transfer.cancelled = FALSE;
  stream.context = &transfer;
  stream.write = pipeWrite;
  stream.read = pipeRead;
  InterlockedIncrement(&forwardedCount);
  result = pelnikForwardRequest(&stream, code, input, inputLength, output, outputLength, &returned);
  switch (result) {
    case PELNIK_FORWARD_DONE:
      finish(irp, STATUS_SUCCESS, returned);
      break;
    case PELNIK_FORWARD_FAILED:
      finish(irp, STATUS_UNSUCCESSFUL, 0);
      break;
    case PELNIK_FORWARD_INVALID:
      finish(irp, STATUS_INVALID_PARAMETER, 0);
      break;
    default:
      /* A cancelled or half-read reply leaves the stream out of step for good. */
      ZwClose(link->pipe);
      link->pipe = NULL;
      finish(irp, transfer.cancelled ? STATUS_CANCELLED : STATUS_DEVICE_NOT_CONNECTED, 0);
      break;
  }
}

static VOID NTAPI workerMain(PVOID context) {
  Link *link = (Link *)context;
  for (;;) {
    KIRQL irql;
    PIRP irp = NULL;
    BOOLEAN stopping;
    KeAcquireSpinLock(&link->queueLock, &irql);
    if (!IsListEmpty(&link->queue))
      irp = CONTAINING_RECORD(RemoveHeadList(&link->queue), IRP, Tail.Overlay.ListEntry);
    stopping = link->stopping;
    KeReleaseSpinLock(&link->queueLock, irql);
    if (irp) {
      serveRequest(link, irp);
      continue;
    }
    if (stopping) break;
    KeWaitForSingleObject(&link->wake, Executive, KernelMode, FALSE, NULL);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

static void freeLink(Link *link) {
  if (link->pipe) ZwClose(link->pipe);
  if (link->transferDone) ZwClose(link->transferDone);
  ExFreePoolWithTag(link, VIRTDRV_TAG);
}

static NTSTATUS NTAPI onCreate(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  Link *link;
  NTSTATUS status;
  link = (Link *)ExAllocatePoolWithTag(NonPagedPool, sizeof *link, VIRTDRV_TAG);
  if (!link) return finish(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  RtlZeroMemory(link, sizeof *link);
  KeInitializeSpinLock(&link->queueLock);
  InitializeListHead(&link->queue);
  KeInitializeEvent(&link->wake, SynchronizationEvent, FALSE);
  {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    status =
        ZwCreateEvent(&link->transferDone, EVENT_ALL_ACCESS, &attributes, NotificationEvent, FALSE);
  }
  if (!NT_SUCCESS(status)) {
    link->transferDone = NULL;
    freeLink(link);
    return finish(irp, status, 0);
  }
  status = openBackEnd(((Unit *)device->DeviceExtension)->camera, &link->pipe);
  if (!NT_SUCCESS(status)) {
    link->pipe = NULL;
    freeLink(link);
    /* The device is there but its camera is not: never "not found", which
       would send the SDK to the virtual camera's own pipe. */
    return finish(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  status =
      PsCreateSystemThread(&link->worker, THREAD_ALL_ACCESS, NULL, NULL, NULL, workerMain, link);
  if (!NT_SUCCESS(status)) {
    freeLink(link);
    return finish(irp, status, 0);
  }
  stack->FileObject->FsContext = link;
  return finish(irp, STATUS_SUCCESS, 0);
}

/* The handle's last user is gone: requests not yet started are cancelled,
   the running one ends as if cancelled, the worker is joined and the
   connection to the camera closed. Windows says so with IRP_MJ_CLEANUP and
   then IRP_MJ_CLOSE; Wine sends only IRP_MJ_CLOSE, so whichever comes first
   does it. */
static void endLink(PFILE_OBJECT file) {
  Link *link = (Link *)file->FsContext;
  LIST_ENTRY dropped;
  KIRQL irql;
  if (!link) return;
  file->FsContext = NULL;
  InitializeListHead(&dropped);
  KeAcquireSpinLock(&link->queueLock, &irql);
  while (!IsListEmpty(&link->queue)) InsertTailList(&dropped, RemoveHeadList(&link->queue));
  link->stopping = TRUE;
  KeReleaseSpinLock(&link->queueLock, irql);
  KeSetEvent(&link->wake, IO_NO_INCREMENT, FALSE);
  while (!IsListEmpty(&dropped))
    finish(CONTAINING_RECORD(RemoveHeadList(&dropped), IRP, Tail.Overlay.ListEntry),
           STATUS_CANCELLED, 0);
  ZwWaitForSingleObject(link->worker, FALSE, NULL);
  ZwClose(link->worker);
  freeLink(link);
}

static NTSTATUS NTAPI onCleanup(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  endLink(IoGetCurrentIrpStackLocation(irp)->FileObject);
  return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI onClose(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  endLink(IoGetCurrentIrpStackLocation(irp)->FileObject);
  return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI onDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  Link *link = (Link *)stack->FileObject->FsContext;
  KIRQL irql;
  BOOLEAN queued = FALSE;
  (void)device;
  if (code == PELNIK_VIRTDRV_COUNT_CODE) {
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
      return finish(irp, STATUS_BUFFER_TOO_SMALL, 0);
    *(ULONG *)irp->AssociatedIrp.SystemBuffer = (ULONG)forwardedCount;
    return finish(irp, STATUS_SUCCESS, sizeof(ULONG));
  }
  if (METHOD_FROM_CTL_CODE(code) == METHOD_NEITHER || !link)
    return finish(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  IoMarkIrpPending(irp);
  KeAcquireSpinLock(&link->queueLock, &irql);
  if (!link->stopping) {
    InsertTailList(&link->queue, &irp->Tail.Overlay.ListEntry);
    queued = TRUE;
  }
  KeReleaseSpinLock(&link->queueLock, irql);
  if (!queued) {
    finish(irp, STATUS_DELETE_PENDING, 0);
    return STATUS_PENDING;
  }
  KeSetEvent(&link->wake, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

static void removeUnit(PDEVICE_OBJECT device) {
  UnitName link;
  nameUnit(&link, kLinkName, ((Unit *)device->DeviceExtension)->camera);
  IoDeleteSymbolicLink(&link.string);
  IoDeleteDevice(device);
}

static VOID NTAPI onUnload(PDRIVER_OBJECT driver) {
  while (driver->DeviceObject) removeUnit(driver->DeviceObject);
}

static NTSTATUS addUnit(PDRIVER_OBJECT driver, unsigned int camera) {
  UnitName name, link;
  PDEVICE_OBJECT device;
  NTSTATUS status;
  nameUnit(&name, kDeviceName, camera);
  nameUnit(&link, kLinkName, camera);
  status =
      IoCreateDevice(driver, sizeof(Unit), &name.string, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  ((Unit *)device->DeviceExtension)->camera = camera;
  status = IoCreateSymbolicLink(&link.string, &name.string);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static ULONG configuredCameras(PUNICODE_STRING registryPath) {
  WCHAR path[256];
  ULONG cameras = VIRTDRV_DEFAULT_CAMERAS;
  ULONG fallback = VIRTDRV_DEFAULT_CAMERAS;
  RTL_QUERY_REGISTRY_TABLE table[2];
  const USHORT chars = registryPath->Length / sizeof(WCHAR);
  if (chars >= sizeof path / sizeof path[0]) return fallback;
  RtlCopyMemory(path, registryPath->Buffer, registryPath->Length);
  path[chars] = 0;
  RtlZeroMemory(table, sizeof table);
  table[0].Flags = RTL_QUERY_REGISTRY_DIRECT;
  table[0].Name = (PWSTR)VIRTDRV_WIDEN(PELNIK_VIRTDRV_CAMERAS_VALUE);
  table[0].EntryContext = &cameras;
  table[0].DefaultType = REG_DWORD;
  table[0].DefaultData = &fallback;
  table[0].DefaultLength = sizeof fallback;
  if (!NT_SUCCESS(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, path, table, NULL, NULL)))
    return fallback;
  return cameras;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  const ULONG cameras = configuredCameras(registryPath);
  unsigned int camera;
  for (camera = 0; camera < 32; ++camera) {
    NTSTATUS status;
    if (!(cameras & (1u << camera))) continue;
    status = addUnit(driver, camera);
    if (!NT_SUCCESS(status)) {
      onUnload(driver);
      return status;
    }
  }
  driver->MajorFunction[IRP_MJ_CREATE] = onCreate;
  driver->MajorFunction[IRP_MJ_CLEANUP] = onCleanup;
  driver->MajorFunction[IRP_MJ_CLOSE] = onClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = onDeviceControl;
  driver->DriverUnload = onUnload;
  return STATUS_SUCCESS;
}
