/* Loaded and registered before the script, told after it, unloaded at exit. */
/* log: attach, feedback 1, feedback 0, detach */
exit rtrange(1) <> 'ok'
