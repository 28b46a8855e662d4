// The only way the page talks to the server: one JSON command per POST to "/api".

import { showMessage, str } from './dom.js';
import { announce, AUTH_REQUIRED, CONNECTION } from './events.js';

/** A refused or failed command; `message` is what the user should read. */
export class ApiError extends Error {
  constructor(message, httpStatus = 0, reply = null) {
    super(message);
    this.name = 'ApiError';
    this.httpStatus = httpStatus;
    this.reply = reply;
  }
}

/**
 * Sends {"request": name, ...params} and resolves with the reply object when its "status" is "OK" or "OK_WAIT".
 * Rejects with an ApiError carrying the server's "message" (or a plain description of what went wrong).
 */
export async function call(name, params = {}) {
  let response;
  try {
    response = await fetch('/api', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ ...params, request: name }),
      cache: 'no-store',
    });
  } catch {
    announce(CONNECTION, { reachable: false });
    throw new ApiError('Cannot reach the server.');
  }
  announce(CONNECTION, { reachable: true });

  let reply = null;
  try {
    reply = await response.json();
  } catch {
    // Not JSON: a reply of the HTTP layer itself; its status line is all we can report.
  }
  if (reply === null || typeof reply !== 'object' || Array.isArray(reply)) {
    throw new ApiError(`The server answered with HTTP status ${response.status}.`, response.status);
  }
  if (response.status === 401 && reply.login_required === true) {
    announce(AUTH_REQUIRED, { reason: '' });
    throw new ApiError('Log in to go on.', response.status, reply);
  }
  if (!response.ok || (reply.status !== 'OK' && reply.status !== 'OK_WAIT')) {
    throw new ApiError(errorText(reply, response.status), response.status, reply);
  }
  return reply;
}

function errorText(reply, httpStatus) {
  if (typeof reply.message === 'string' && reply.message.trim() !== '') return reply.message;
  if (typeof reply.description === 'string' && reply.description !== '') return reply.description;
  return `The server answered with HTTP status ${httpStatus}.`;
}

/**
 * Runs a command for a button and reports in `messageNode`: the reply's "message" (or `fallback`) on success,
 * as a notice for "OK_WAIT"; the refusal otherwise. Resolves with the reply, or null when it was refused.
 */
export async function callAndReport(messageNode, name, params, fallback) {
  try {
    const reply = await call(name, params);
    showMessage(messageNode, str(reply, 'message', fallback), reply.status === 'OK_WAIT' ? 'notice' : 'ok');
    return reply;
  } catch (error) {
    showMessage(messageNode, error.message, 'error');
    return null;
  }
}

/** Path at which the finished file of a download is fetched. */
export function downloadPath(pelkoId) {
  return `/download/${encodeURIComponent(pelkoId)}`;
}

/** The same file for the page's player: the browser plays it instead of saving it. */
export function playPath(pelkoId) {
  return `${downloadPath(pelkoId)}?inline=1`;
}
