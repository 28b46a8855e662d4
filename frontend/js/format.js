// Turning server numbers into words for people.

const BYTE_UNITS = ['B', 'KiB', 'MiB', 'GiB', 'TiB', 'PiB'];

/** 1536 gives "1.5 KiB"; a negative size (one the server could not measure) gives "unknown". */
export function formatBytes(bytes) {
  if (typeof bytes !== 'number' || !Number.isFinite(bytes) || bytes < 0) return 'unknown';
  let value = bytes;
  let unit = 0;
  while (value >= 1024 && unit < BYTE_UNITS.length - 1) {
    value /= 1024;
    unit += 1;
  }
  const digits = unit === 0 || value >= 100 ? 0 : value >= 10 ? 1 : 2;
  return `${value.toFixed(digits)} ${BYTE_UNITS[unit]}`;
}

/** 3725 gives "1:02:05", 65 gives "1:05"; an unknown length (negative) gives "". */
export function formatDuration(seconds) {
  if (typeof seconds !== 'number' || !Number.isFinite(seconds) || seconds < 0) return '';
  const total = Math.floor(seconds);
  const h = Math.floor(total / 3600);
  const m = Math.floor((total % 3600) / 60);
  const s = total % 60;
  const pad = (n) => String(n).padStart(2, '0');
  return h > 0 ? `${h}:${pad(m)}:${pad(s)}` : `${m}:${pad(s)}`;
}

const dateTime = new Intl.DateTimeFormat(undefined, { dateStyle: 'medium', timeStyle: 'medium' });

/** Seconds since the epoch as local date and time; 0 or less gives "". */
export function formatTime(epochSeconds) {
  if (typeof epochSeconds !== 'number' || !Number.isFinite(epochSeconds) || epochSeconds <= 0) return '';
  return dateTime.format(new Date(epochSeconds * 1000));
}

/** Seconds since the epoch in the machine-readable form of a <time> element. */
export function isoTime(epochSeconds) {
  return new Date(epochSeconds * 1000).toISOString();
}

/** How often something happens, from minutes: 60 gives "every hour", 90 "every 90 minutes", 2880 "every 2 days". */
export function formatInterval(minutes) {
  const units = [[10080, 'week'], [1440, 'day'], [60, 'hour'], [1, 'minute']];
  const [size, unit] = units.find(([length]) => minutes % length === 0) ?? [1, 'minute'];
  const count = minutes / size;
  return count === 1 ? `every ${unit}` : `every ${count} ${unit}s`;
}
