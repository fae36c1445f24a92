/* A trapped failure is not blamed for a later error of Regina's own. */
/* status: 40 */
/* stderr: Error 40.14: SUBSTR argument 2 must be positive */
/* nostderr: RTKEYWORD */
signal on syntax name trapped
x = rtkeyword('nope')
exit 9
trapped:
say substr('abc', 0)
