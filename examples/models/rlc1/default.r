#Hclass	rlc1
#Iprocsr	0
#Imethod	2
#Tstart 	0
#Tfinish	8
#Tstep  	0.001
#Tcomint	1	0.01
