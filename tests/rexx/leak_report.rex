/* A copy the library never frees is reported when the script is over. */
/* stderr: halvorin: host error: 1 argument copies and 0 strings were never freed */
exit rtcopy('kept', 'LEAK') <> 'kept'
